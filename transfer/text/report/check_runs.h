#pragma once

#include "text/report/site_check_report.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The timed phases of a check and the summary of several runs of it
// (`sarvel --check --repeat N`).

// The phases monitors chart, in seconds: "total" (the whole check), "dns",
// "connect", "tls" (FTP's TLS handshake, SFTP's key exchange), "login",
// "listing", "write" and "read" (the test file read back).
QStringList checkPhaseNames();
// The seconds each phase of checkPhaseNames() took in `report`, in that
// order; -1 for a phase that did not run.
QList<double> checkPhaseSeconds(const SiteCheckReport &report);

// The end of the server's certificate, when the login went over TLS;
// invalid otherwise.
QDateTime checkCertificateNotAfter(const SiteCheckReport &report);
// The rate the test file was read back at, in bytes per second; -1 when it
// was not read back.
double checkReadBackRate(const SiteCheckReport &report);

// How the values of one phase spread over the runs that measured it.
struct CheckSpread
{
    QString name;
    int count = 0; // the runs that measured it; the rest are -1
    double p50 = -1;
    double p95 = -1;
    double max = -1;
};

// The spread of the values of `measured` that are not -1.
CheckSpread checkSpread(const QString &name, const QList<double> &measured);
// A table of spreads in seconds: a heading of `phase`, `count`, "p50 s",
// "p95 s" and "max s", then a row for each.
QStringList checkSpreadTable(const QString &phase, const QString &count,
                             const QList<CheckSpread> &rows);
// The spreads that measured anything, by name, each with its count under
// the key `count`.
QJsonObject checkSpreadJson(const QList<CheckSpread> &rows, const QString &count);
// "`what`: p50 1, p95 2, max 3 bytes/s".
QString checkRateLine(const QString &what, const CheckSpread &rate);

// How often one step failed for one reason.
struct CheckFailureCount
{
    SiteCheckStepId id = SiteCheckStepId::NameResolution;
    QString reason;
    int count = 0;
};

struct SiteCheckRunsSummary
{
    int runs = 0;
    int passed = 0;
    int warned = 0;
    int failed = 0;
    int worst = -1;                    // the first run with the worst verdict
    QList<CheckFailureCount> failures; // in the order of the steps, then most frequent first
    QList<CheckSpread> phases;         // as checkPhaseNames()
    CheckSpread readBackRate;          // bytes per second
};
SiteCheckRunsSummary summarizeSiteChecks(const QList<SiteCheckReport> &runs);

// The value of `values` at `fraction` (0.5 for the median) by the nearest
// rank; -1 for none.
double nearestRank(QList<double> values, double fraction);

// The summary as lines of text: the runs' verdicts, the failures counted,
// and a table of each phase's p50, p95 and max.
QStringList siteCheckRunsLines(const QString &target, const SiteCheckRunsSummary &summary);
// The same as a JSON object.
QJsonObject siteCheckRunsJson(const SiteCheckRunsSummary &summary);
