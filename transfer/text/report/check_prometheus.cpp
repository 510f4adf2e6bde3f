// The terminal check in Prometheus' text exposition format (0.0.4), for
// node_exporter's textfile collector; the names follow the blackbox
// exporter's where it has one.
#include "text/report/check_formats.h"
#include "text/report/report_writing.h"

#include <utility>

namespace {

using Labels = Exposition::Labels;

const char SuccessHelp[] = "Whether the site check ran without a failed step (1) or not (0).";
const char DurationHelp[] = "How long the whole site check took, in seconds.";
const char PhaseHelp[] = "How long each phase of the site check took, in seconds.";
const char ExpiryHelp[] = "When the server's certificate expires, as a Unix time.";
const char RateHelp[] = "The rate the test file was read back at, in bytes per second.";

void certificateExpiry(Exposition &out, const QList<SiteCheckReport> &runs)
{
    QDateTime earliest;
    for (const SiteCheckReport &run : runs) {
        const QDateTime notAfter = checkCertificateNotAfter(run);
        if (notAfter.isValid() && (!earliest.isValid() || notAfter < earliest))
            earliest = notAfter;
    }
    if (!earliest.isValid())
        return;
    out.metric("sarvel_ssl_earliest_cert_expiry", ExpiryHelp);
    out.series({}, double(earliest.toSecsSinceEpoch()));
}

QByteArray oneRun(const SiteCheckReport &report)
{
    Exposition out(report.target);
    out.metric("sarvel_check_success", SuccessHelp);
    out.series({}, siteCheckVerdict(report.steps) == SiteCheckResult::Fail ? 0 : 1);
    out.metric("sarvel_check_step_result", "How each step of the site check came out (1).");
    for (const SiteCheckStep &step : report.steps)
        out.series({{QStringLiteral("step"), QString::number(siteCheckStepNumber(step.id))},
                    {QStringLiteral("name"), siteCheckStepName(step.id)},
                    {QStringLiteral("result"), siteCheckResultWord(step.outcome.result)}},
                   1);
    const QStringList phases = checkPhaseNames();
    const QList<double> seconds = checkPhaseSeconds(report);
    out.metric("sarvel_check_duration_seconds", DurationHelp);
    out.series({}, qMax(0.0, seconds.first()));
    out.metric("sarvel_check_phase_duration_seconds", PhaseHelp);
    for (qsizetype i = 1; i < phases.size(); ++i)
        if (seconds.at(i) >= 0)
            out.series({{QStringLiteral("phase"), phases.at(i)}}, seconds.at(i));
    certificateExpiry(out, {report});
    if (const double rate = checkReadBackRate(report); rate >= 0) {
        out.metric("sarvel_check_read_back_bytes_per_second", RateHelp);
        out.series({}, rate);
    }
    return out.text();
}

} // namespace

QByteArray prometheusOutput(const QList<SiteCheckReport> &runs, const SiteCheckRunsSummary &summary)
{
    if (runs.size() == 1)
        return oneRun(runs.first());
    Exposition out(runs.first().target);
    out.metric("sarvel_check_success", SuccessHelp);
    out.series({}, summary.failed == 0 ? 1 : 0);
    out.metric("sarvel_check_runs", "How many runs of the site check came out each way.");
    for (const auto &[result, count] :
         {std::pair{"pass", summary.passed}, std::pair{"warning", summary.warned},
          std::pair{"fail", summary.failed}})
        out.series({{QStringLiteral("result"), QLatin1String(result)}}, count);
    out.metric("sarvel_check_step_failures", "How many runs failed at each step.");
    QList<SiteCheckStepId> counted;
    for (const CheckFailureCount &failure : summary.failures) {
        if (counted.contains(failure.id))
            continue;
        counted << failure.id;
        int count = 0;
        for (const CheckFailureCount &same : summary.failures)
            count += same.id == failure.id ? same.count : 0;
        out.series({{QStringLiteral("step"), QString::number(siteCheckStepNumber(failure.id))},
                    {QStringLiteral("name"), siteCheckStepName(failure.id)}},
                   count);
    }
    out.metric("sarvel_check_duration_seconds", DurationHelp);
    out.quantiles({}, summary.phases.first());
    out.metric("sarvel_check_phase_duration_seconds", PhaseHelp);
    for (qsizetype i = 1; i < summary.phases.size(); ++i)
        out.quantiles({{QStringLiteral("phase"), summary.phases.at(i).name}}, summary.phases.at(i));
    certificateExpiry(out, runs);
    if (summary.readBackRate.count > 0) {
        out.metric("sarvel_check_read_back_bytes_per_second", RateHelp);
        out.quantiles({}, summary.readBackRate);
    }
    return out.text();
}
