#include "text/report/check_formats.h"

#include "text/report/report_writing.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <iterator>

namespace {

struct FormatRow
{
    CheckFormat format;
    const char *name;
};

const FormatRow FormatTable[] = {
    {CheckFormat::Text, "text"},     {CheckFormat::Json, "json"},
    {CheckFormat::Nagios, "nagios"}, {CheckFormat::Prometheus, "prometheus"},
    {CheckFormat::Junit, "junit"},
};

QByteArray textOutput(const QList<SiteCheckReport> &runs, const SiteCheckRunsSummary &summary)
{
    if (runs.size() == 1) {
        QStringList lines = siteCheckTable(runs.first()).split(QLatin1Char('\n'));
        lines.removeLast(); // after the last line break
        return visibleLines(lines);
    }
    QStringList lines = siteCheckRunsLines(runs.first().target, summary);
    // The worst run in full, for its hints.
    lines << QString()
          << QStringLiteral("The worst run, %1 of %2:").arg(summary.worst + 1).arg(runs.size());
    QStringList worst = siteCheckTable(runs.at(summary.worst)).split(QLatin1Char('\n'));
    worst.removeLast();
    return visibleLines(lines + worst);
}

QByteArray jsonOutput(const QList<SiteCheckReport> &runs, const SiteCheckRunsSummary &summary,
                      const CheckOutputContext &context)
{
    // JSON writes control characters as escapes of its own.
    if (runs.size() == 1)
        return siteCheckJson(runs.first(), context.libcurlVersion, context.programVersion);
    QJsonArray each;
    for (const SiteCheckReport &run : runs)
        each.append(siteCheckJsonObject(run, context.libcurlVersion, context.programVersion));
    const QJsonObject document{{QStringLiteral("target"), runs.first().target},
                               {QStringLiteral("summary"), siteCheckRunsJson(summary)},
                               {QStringLiteral("runs"), each}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

} // namespace

std::optional<CheckFormat> checkFormatNamed(const QString &name)
{
    for (const FormatRow &row : FormatTable)
        if (name == QLatin1String(row.name))
            return row.format;
    return std::nullopt;
}

QString checkFormatNames()
{
    QStringList names;
    for (const FormatRow &row : FormatTable)
        names << QLatin1String(row.name);
    return names.join(QLatin1Char('|'));
}

CheckExitCode checkExitCode(SiteCheckResult verdict)
{
    switch (verdict) {
    case SiteCheckResult::Pass:
    case SiteCheckResult::Skipped:
        return CheckOk;
    case SiteCheckResult::Warning:
        return CheckWarning;
    case SiteCheckResult::Fail:
        break;
    }
    return CheckCritical;
}

qint64 certificateDaysLeft(const QDateTime &notAfter, const QDateTime &now)
{
    return now.secsTo(notAfter) / 86400;
}

QByteArray checkOutput(CheckFormat format, const QList<SiteCheckReport> &runs,
                       const CheckOutputContext &context)
{
    if (runs.isEmpty())
        return {};
    const SiteCheckRunsSummary summary = summarizeSiteChecks(runs);
    switch (format) {
    case CheckFormat::Text:
        break;
    case CheckFormat::Json:
        return jsonOutput(runs, summary, context);
    case CheckFormat::Nagios:
        return nagiosOutput(runs, summary, context.limits);
    case CheckFormat::Prometheus:
        return prometheusOutput(runs, summary);
    case CheckFormat::Junit:
        return junitOutput(runs);
    }
    return textOutput(runs, summary);
}
