#include "text/report/site_check_report.h"

#include "text/protocol_line.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <iterator>

namespace {

const QStringList TableHeader = {QStringLiteral("Step"), QStringLiteral("Result"),
                                 QStringLiteral("Time"), QStringLiteral("Detail")};

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QStringList tableRow(const SiteCheckStep &step)
{
    return {siteCheckStepTitle(step.id), siteCheckResultWord(step.outcome.result),
            siteCheckElapsedText(step.elapsedMs), oneLine(step.outcome.detail)};
}

QString plural(qsizetype count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

QJsonObject stepObject(const SiteCheckStep &step)
{
    QJsonObject object{
        {QStringLiteral("step"), siteCheckStepNumber(step.id)},
        {QStringLiteral("name"), siteCheckStepName(step.id)},
        {QStringLiteral("result"), siteCheckResultWord(step.outcome.result)},
        {QStringLiteral("detail"), step.outcome.detail},
        {QStringLiteral("measured"), QJsonObject::fromVariantMap(step.measured)},
    };
    if (step.elapsedMs >= 0)
        object.insert(QStringLiteral("elapsedMs"), step.elapsedMs);
    if (!step.outcome.hint.isEmpty())
        object.insert(QStringLiteral("hint"), step.outcome.hint);
    if (step.replyCode != 0 || !step.replyText.isEmpty())
        object.insert(QStringLiteral("reply"),
                      QJsonObject{{QStringLiteral("code"), step.replyCode},
                                  {QStringLiteral("text"), step.replyText}});
    return object;
}

} // namespace

QString siteCheckResultWord(SiteCheckResult result)
{
    switch (result) {
    case SiteCheckResult::Pass:
        return QStringLiteral("pass");
    case SiteCheckResult::Skipped:
        return QStringLiteral("skipped");
    case SiteCheckResult::Warning:
        return QStringLiteral("warning");
    case SiteCheckResult::Fail:
        return QStringLiteral("fail");
    }
    return {};
}

SiteCheckOutcome combinedOutcome(const QList<SiteCheckOutcome> &outcomes)
{
    SiteCheckOutcome combined{SiteCheckResult::Skipped, QString(), QString()};
    bool anyRan = false;
    for (const SiteCheckOutcome &part : outcomes)
        if (part.result != SiteCheckResult::Skipped) {
            combined.result = anyRan ? std::max(combined.result, part.result) : part.result;
            anyRan = true;
        }
    QStringList details, hints;
    for (const SiteCheckOutcome &part : outcomes) {
        if (!part.detail.isEmpty())
            details << part.detail;
        if (part.result == combined.result && !part.hint.isEmpty())
            hints << part.hint;
    }
    combined.detail = details.join(QStringLiteral("; "));
    combined.hint = hints.join(QLatin1Char(' '));
    return combined;
}

QString siteCheckTarget(const QString &host, int port, const QString &folder, const QString &scheme)
{
    QUrl url;
    url.setScheme(scheme);
    url.setHost(host);
    url.setPort(port);
    QString path = folder;
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    url.setPath(QLatin1Char('/') + path);
    return url.toString(QUrl::RemoveUserInfo);
}

SiteCheckResult siteCheckVerdict(const QList<SiteCheckStep> &steps)
{
    SiteCheckResult worst = SiteCheckResult::Pass;
    for (const SiteCheckStep &step : steps)
        worst = std::max(worst, step.outcome.result);
    return worst == SiteCheckResult::Skipped ? SiteCheckResult::Pass : worst;
}

QString siteCheckVerdictLine(const QList<SiteCheckStep> &steps)
{
    const auto count = [&steps](SiteCheckResult result) {
        return std::count_if(steps.begin(), steps.end(), [result](const SiteCheckStep &step) {
            return step.outcome.result == result;
        });
    };
    QString line =
        QStringLiteral("Site check: %1, %2, %3 failed")
            .arg(QString::number(count(SiteCheckResult::Pass)) + QStringLiteral(" passed"),
                 plural(count(SiteCheckResult::Warning), "warning", "warnings"),
                 QString::number(count(SiteCheckResult::Fail)));
    const auto skipped = count(SiteCheckResult::Skipped);
    if (skipped == 0)
        return line;
    line += QStringLiteral(", %1 skipped").arg(skipped);
    for (const SiteCheckStep &step : steps)
        if (step.outcome.result == SiteCheckResult::Skipped && !step.cause.isEmpty())
            return line + QStringLiteral(": ") + step.cause;
    return line;
}

QString siteCheckElapsedText(qint64 elapsedMs)
{
    if (elapsedMs < 0)
        return QStringLiteral("-");
    if (elapsedMs < 10000)
        return QStringLiteral("%1 ms").arg(elapsedMs);
    return QStringLiteral("%1 s").arg(double(elapsedMs) / 1000.0, 0, 'f', 1);
}

QString siteCheckTable(const SiteCheckReport &report)
{
    QList<QStringList> rows{TableHeader};
    for (const SiteCheckStep &step : report.steps)
        rows << tableRow(step);
    // Every column but the last padded to its widest cell.
    QList<qsizetype> widths(TableHeader.size() - 1, 0);
    for (const QStringList &row : rows)
        for (qsizetype column = 0; column < widths.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());

    QStringList lines{QStringLiteral("Site check of %1, started %2 UTC")
                          .arg(report.target, report.started.toUTC().toString(
                                                  QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                      QString()};
    const auto line = [&widths](const QStringList &cells) {
        QString text;
        for (qsizetype column = 0; column < widths.size(); ++column)
            text += cells[column].leftJustified(widths[column]) + QStringLiteral("  ");
        return (text + cells.last()).trimmed();
    };
    lines << line(rows.first());
    QStringList rule;
    for (qsizetype width : widths)
        rule << QString(width, QLatin1Char('-'));
    rule << QString(TableHeader.last().size(), QLatin1Char('-'));
    lines << line(rule);
    // A warning's or failure's hint goes under its row, in the Detail column.
    qsizetype detailColumn = 0;
    for (qsizetype width : widths)
        detailColumn += width + 2;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        lines << line(rows[i]);
        const SiteCheckOutcome &outcome = report.steps[i - 1].outcome;
        if (outcome.result >= SiteCheckResult::Warning && !outcome.hint.isEmpty())
            lines << QString(detailColumn, QLatin1Char(' ')) + QStringLiteral("Hint: ") +
                         oneLine(outcome.hint);
    }
    lines << QString() << siteCheckVerdictLine(report.steps);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QJsonObject siteCheckJsonObject(const SiteCheckReport &report, const QString &libcurlVersion,
                                const QString &programVersion)
{
    QJsonArray steps;
    for (const SiteCheckStep &step : report.steps)
        steps.append(stepObject(step));
    QJsonArray protocol;
    for (const QString &line : report.protocolLines)
        protocol.append(protocolLineMasked(line));
    const QString program = programVersion.isEmpty()
                                ? QCoreApplication::applicationName() + QLatin1Char(' ') +
                                      QCoreApplication::applicationVersion()
                                : programVersion;
    QJsonObject document{
        {QStringLiteral("target"), report.target},
        {QStringLiteral("site"), report.label},
        {QStringLiteral("libcurl"), libcurlVersion},
        {QStringLiteral("program"), program.trimmed()},
        {QStringLiteral("started"), report.started.toUTC().toString(Qt::ISODateWithMs)},
        {QStringLiteral("verdict"), siteCheckResultWord(siteCheckVerdict(report.steps))},
        {QStringLiteral("verdictLine"), siteCheckVerdictLine(report.steps)},
        {QStringLiteral("steps"), steps},
        {QStringLiteral("protocol"), protocol},
    };
    if (report.durationMs >= 0)
        document.insert(QStringLiteral("durationMs"), report.durationMs);
    return document;
}

QByteArray siteCheckJson(const SiteCheckReport &report, const QString &libcurlVersion,
                         const QString &programVersion)
{
    return QJsonDocument(siteCheckJsonObject(report, libcurlVersion, programVersion))
        .toJson(QJsonDocument::Indented);
}
