#pragma once

#include "text/report/check_runs.h"
#include "text/report/site_check_report.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The forms the terminal check writes its report in (`sarvel --check
// --format`), each a function of the reports of its runs alone: one report,
// or several for `--repeat`.

enum class CheckFormat { Text, Json, Nagios, Prometheus, Junit };

// The format `name` names ("text", "json", "nagios", "prometheus",
// "junit"); none for another name.
std::optional<CheckFormat> checkFormatNamed(const QString &name);
// "text|json|nagios|prometheus|junit", for the usage.
QString checkFormatNames();

// The exit codes of the terminal check, the monitoring plugins' own: every
// step passed, warnings only, a step failed, the check could not run.
enum CheckExitCode { CheckOk = 0, CheckWarning = 1, CheckCritical = 2, CheckUnknown = 3 };
// The exit code for the verdict of a check (or the worst of several runs).
CheckExitCode checkExitCode(SiteCheckResult verdict);

// What a format needs beyond the reports.
struct CheckOutputContext
{
    QString libcurlVersion;
    QString programVersion; // "Sarvel 0.1"
    CertificateLimits limits;
};

// `runs` in `format`; runs holds at least one report.
QByteArray checkOutput(CheckFormat format, const QList<SiteCheckReport> &runs,
                       const CheckOutputContext &context);

// The plugin API of Nagios and its heirs: "SARVEL OK - target: verdict",
// " | " and the performance data, then one line per step.
QByteArray nagiosOutput(const QList<SiteCheckReport> &runs, const SiteCheckRunsSummary &summary,
                        const CertificateLimits &limits);
// The plugin's line for a check that could not run: "SARVEL UNKNOWN - why".
QByteArray nagiosUnknown(const QString &why);
// Prometheus' text exposition format, version 0.0.4.
QByteArray prometheusOutput(const QList<SiteCheckReport> &runs,
                            const SiteCheckRunsSummary &summary);
// A JUnit XML report: one testsuite per run, one testcase per step.
QByteArray junitOutput(const QList<SiteCheckReport> &runs);

// The days left until `notAfter` from `now`, whole days down, as the
// certificate step counts them.
qint64 certificateDaysLeft(const QDateTime &notAfter, const QDateTime &now);
