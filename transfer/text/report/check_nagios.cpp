// The terminal check as a Nagios plugin: one status line with performance
// data, then the steps as long output.
#include "text/report/check_formats.h"

#include "text/report/report_writing.h"
#include "text/report/site_check_summary.h"

namespace {

const char *const StatusWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

// The certificate that ends first among the runs, and its days left then.
QString certificateDays(const QList<SiteCheckReport> &runs, const CertificateLimits &limits)
{
    qint64 days = 0;
    bool found = false;
    for (const SiteCheckReport &run : runs) {
        const QDateTime notAfter = checkCertificateNotAfter(run);
        if (!notAfter.isValid())
            continue;
        const qint64 left = certificateDaysLeft(notAfter, run.started);
        days = found ? qMin(days, left) : left;
        found = true;
    }
    if (!found)
        return {};
    return perfDatum(QStringLiteral("cert_days"), QString::number(days),
                     QStringLiteral(";%1;%2;;").arg(limits.warnDays).arg(limits.critDays));
}

} // namespace

QByteArray nagiosOutput(const QList<SiteCheckReport> &runs, const SiteCheckRunsSummary &summary,
                        const CertificateLimits &limits)
{
    const SiteCheckReport &worst = runs.at(summary.worst);
    const SiteCheckResult verdict = siteCheckVerdict(worst.steps);
    const QString culprit = siteCheckCulpritLine(worst.steps);
    QString status = QStringLiteral("SARVEL %1 - %2: %3")
                         .arg(QLatin1String(StatusWords[checkExitCode(verdict)]), worst.target,
                              culprit.isEmpty() ? siteCheckVerdictLine(worst.steps) : culprit);
    if (runs.size() > 1)
        status += QStringLiteral(" (%1 runs: %2 passed, %3 warned, %4 failed)")
                      .arg(summary.runs)
                      .arg(summary.passed)
                      .arg(summary.warned)
                      .arg(summary.failed);

    // The medians of several runs; of one, its own values.
    QStringList perf;
    for (const CheckSpread &phase : summary.phases)
        perf << perfDatum(phase.name, perfSeconds(phase.p50), phase.p50 < 0 ? QString() : ";;;0");
    if (runs.size() > 1)
        perf << perfDatum(QStringLiteral("runs_failed"), QString::number(summary.failed),
                          QStringLiteral(";;;0;%1").arg(summary.runs));
    const QString certificate = certificateDays(runs, limits);
    if (!certificate.isEmpty())
        perf << certificate;

    QStringList lines{pluginText(status) + QStringLiteral(" | ") + perf.join(QLatin1Char(' '))};
    for (const CheckFailureCount &failure : summary.failures)
        if (runs.size() > 1)
            lines << pluginText(QStringLiteral("%1 of %2 runs failed at %3: %4")
                                    .arg(failure.count)
                                    .arg(summary.runs)
                                    .arg(siteCheckStepTitle(failure.id), failure.reason));
    for (const SiteCheckStep &step : worst.steps)
        lines << pluginText(QStringLiteral("%1: %2: %3")
                                .arg(siteCheckStepTitle(step.id),
                                     siteCheckResultWord(step.outcome.result),
                                     step.outcome.detail));
    return lines.join(QLatin1Char('\n')).toUtf8() + '\n';
}

QByteArray nagiosUnknown(const QString &why)
{
    return pluginText(QStringLiteral("SARVEL UNKNOWN - ") + why).toUtf8() + '\n';
}
