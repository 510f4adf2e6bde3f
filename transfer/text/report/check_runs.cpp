#include "text/report/check_runs.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace {

struct PhaseRow
{
    const char *name;
    SiteCheckStepId ftp;  // the step that times the phase on FTP
    SiteCheckStepId sftp; // and on SFTP
};

// After "total": each phase and the steps of FTP and SFTP that time it.
const PhaseRow PhaseTable[] = {
    {"dns", SiteCheckStepId::NameResolution, SiteCheckStepId::NameResolution},
    {"connect", SiteCheckStepId::Connection, SiteCheckStepId::Connection},
    {"tls", SiteCheckStepId::Encryption, SiteCheckStepId::KeyExchange},
    {"login", SiteCheckStepId::Login, SiteCheckStepId::Login},
    {"listing", SiteCheckStepId::PassiveData, SiteCheckStepId::Listing},
    {"write", SiteCheckStepId::Write, SiteCheckStepId::Write},
    {"read", SiteCheckStepId::ReadBack, SiteCheckStepId::ReadBack},
};

const SiteCheckStep *findStep(const SiteCheckReport &report, SiteCheckStepId id)
{
    for (const SiteCheckStep &step : report.steps)
        if (step.id == id)
            return &step;
    return nullptr;
}

double seconds(qint64 ms)
{
    return ms < 0 ? -1.0 : double(ms) / 1000.0;
}

QString number(double value, int decimals = 3)
{
    return value < 0 ? QStringLiteral("-") : QString::number(value, 'f', decimals);
}

} // namespace

CheckSpread checkSpread(const QString &name, const QList<double> &measured)
{
    QList<double> values;
    for (double value : measured)
        if (value >= 0)
            values << value;
    CheckSpread s;
    s.name = name;
    s.count = int(values.size());
    s.p50 = nearestRank(values, 0.5);
    s.p95 = nearestRank(values, 0.95);
    s.max = nearestRank(values, 1.0);
    return s;
}

QStringList checkSpreadTable(const QString &phase, const QString &count,
                             const QList<CheckSpread> &rows)
{
    const int width = qMax(4, int(count.size()));
    QStringList lines{QStringLiteral("%1  %2  %3  %4  %5")
                          .arg(phase, -9)
                          .arg(count, width)
                          .arg(QStringLiteral("p50 s"), 8)
                          .arg(QStringLiteral("p95 s"), 8)
                          .arg(QStringLiteral("max s"), 8)};
    for (const CheckSpread &row : rows)
        lines << QStringLiteral("%1  %2  %3  %4  %5")
                     .arg(row.name, -9)
                     .arg(row.count, width)
                     .arg(number(row.p50), 8)
                     .arg(number(row.p95), 8)
                     .arg(number(row.max), 8);
    return lines;
}

QJsonObject checkSpreadJson(const QList<CheckSpread> &rows, const QString &count)
{
    QJsonObject spreads;
    for (const CheckSpread &row : rows)
        if (row.count > 0)
            spreads.insert(row.name, QJsonObject{{count, row.count},
                                                 {QStringLiteral("p50"), row.p50},
                                                 {QStringLiteral("p95"), row.p95},
                                                 {QStringLiteral("max"), row.max}});
    return spreads;
}

QString checkRateLine(const QString &what, const CheckSpread &rate)
{
    return QStringLiteral("%1: p50 %2, p95 %3, max %4 bytes/s")
        .arg(what, number(rate.p50, 0), number(rate.p95, 0), number(rate.max, 0));
}

QStringList checkPhaseNames()
{
    QStringList names{QStringLiteral("total")};
    for (const PhaseRow &row : PhaseTable)
        names << QLatin1String(row.name);
    return names;
}

QList<double> checkPhaseSeconds(const SiteCheckReport &report)
{
    QList<double> values{seconds(report.durationMs)};
    for (const PhaseRow &row : PhaseTable) {
        double value = -1;
        for (SiteCheckStepId id : {row.ftp, row.sftp})
            if (const SiteCheckStep *step = findStep(report, id); step && step->elapsedMs >= 0) {
                value = seconds(step->elapsedMs);
                break;
            }
        values << value;
    }
    return values;
}

QDateTime checkCertificateNotAfter(const SiteCheckReport &report)
{
    const SiteCheckStep *step = findStep(report, SiteCheckStepId::Certificate);
    if (!step || step->outcome.result == SiteCheckResult::Skipped)
        return {};
    return step->measured.value(QStringLiteral("notAfter")).toDateTime();
}

double checkReadBackRate(const SiteCheckReport &report)
{
    const SiteCheckStep *step = findStep(report, SiteCheckStepId::ReadBack);
    if (!step || step->elapsedMs < 0 || !step->measured.contains(QStringLiteral("bytes")))
        return -1;
    const double bytes = step->measured.value(QStringLiteral("bytes")).toDouble();
    return bytes / std::max(0.001, double(step->elapsedMs) / 1000.0);
}

double nearestRank(QList<double> values, double fraction)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const auto rank = qsizetype(std::ceil(fraction * double(values.size())));
    return values.at(std::clamp<qsizetype>(rank - 1, 0, values.size() - 1));
}

SiteCheckRunsSummary summarizeSiteChecks(const QList<SiteCheckReport> &runs)
{
    SiteCheckRunsSummary summary;
    summary.runs = int(runs.size());
    SiteCheckResult worst = SiteCheckResult::Pass;
    QList<QList<double>> phases(checkPhaseNames().size());
    QList<double> rates;
    for (int i = 0; i < runs.size(); ++i) {
        const SiteCheckResult verdict = siteCheckVerdict(runs[i].steps);
        summary.passed += verdict == SiteCheckResult::Pass;
        summary.warned += verdict == SiteCheckResult::Warning;
        summary.failed += verdict == SiteCheckResult::Fail;
        if (summary.worst < 0 || verdict > worst) {
            worst = verdict;
            summary.worst = i;
        }
        const QList<double> seconds = checkPhaseSeconds(runs[i]);
        for (qsizetype p = 0; p < phases.size(); ++p)
            phases[p] << seconds.at(p);
        rates << checkReadBackRate(runs[i]);
        for (const SiteCheckStep &step : runs[i].steps) {
            if (step.outcome.result != SiteCheckResult::Fail)
                continue;
            auto known = std::find_if(summary.failures.begin(), summary.failures.end(),
                                      [&](const CheckFailureCount &f) {
                                          return f.id == step.id && f.reason == step.outcome.detail;
                                      });
            if (known == summary.failures.end())
                summary.failures << CheckFailureCount{step.id, step.outcome.detail, 1};
            else
                ++known->count;
        }
    }
    std::stable_sort(summary.failures.begin(), summary.failures.end(),
                     [](const CheckFailureCount &a, const CheckFailureCount &b) {
                         const int left = siteCheckStepNumber(a.id);
                         const int right = siteCheckStepNumber(b.id);
                         return left != right ? left < right : a.count > b.count;
                     });
    const QStringList names = checkPhaseNames();
    for (qsizetype p = 0; p < names.size(); ++p)
        summary.phases << checkSpread(names.at(p), phases.at(p));
    summary.readBackRate = checkSpread(QStringLiteral("readBackRate"), rates);
    return summary;
}

QStringList siteCheckRunsLines(const QString &target, const SiteCheckRunsSummary &s)
{
    QStringList lines{QStringLiteral("Site checks of %1: %2 runs, %3 passed, %4 warned, %5 failed")
                          .arg(target)
                          .arg(s.runs)
                          .arg(s.passed)
                          .arg(s.warned)
                          .arg(s.failed)};
    if (!s.failures.isEmpty()) {
        lines << QString() << QStringLiteral("Failures:");
        for (const CheckFailureCount &f : s.failures)
            lines << QStringLiteral("  %1 x %2: %3")
                         .arg(f.count)
                         .arg(siteCheckStepTitle(f.id), f.reason);
    }
    lines << QString()
          << checkSpreadTable(QStringLiteral("Phase"), QStringLiteral("Runs"), s.phases);
    if (s.readBackRate.count > 0)
        lines << QString() << checkRateLine(QStringLiteral("Read back"), s.readBackRate);
    return lines;
}

QJsonObject siteCheckRunsJson(const SiteCheckRunsSummary &s)
{
    QJsonArray failures;
    for (const CheckFailureCount &f : s.failures)
        failures.append(QJsonObject{{QStringLiteral("step"), siteCheckStepNumber(f.id)},
                                    {QStringLiteral("name"), siteCheckStepName(f.id)},
                                    {QStringLiteral("reason"), f.reason},
                                    {QStringLiteral("count"), f.count}});
    const QJsonObject phases =
        checkSpreadJson(s.phases + QList<CheckSpread>{s.readBackRate}, QStringLiteral("runs"));
    return {{QStringLiteral("runs"), s.runs},       {QStringLiteral("passed"), s.passed},
            {QStringLiteral("warned"), s.warned},   {QStringLiteral("failed"), s.failed},
            {QStringLiteral("failures"), failures}, {QStringLiteral("phases"), phases}};
}
