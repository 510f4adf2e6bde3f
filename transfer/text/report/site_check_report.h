#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// How one step of a site check came out. Ordered from best to worst as the
// verdict reads them: a skipped step neither passes nor fails, so it ranks
// with a pass and never makes the verdict worse.
enum class SiteCheckResult { Pass, Skipped, Warning, Fail };

// "pass", "warning", "fail" or "skipped": the word the table and the saved
// document show.
QString siteCheckResultWord(SiteCheckResult result);

// The steps of a site check, in the order they run; the numbers are the
// ones the operator sees.
enum class SiteCheckStepId {
    NameResolution = 1,
    Connection,
    Greeting,
    Encryption,
    Certificate,
    Login,
    Features,
    PassiveData,
    PassiveAddress,
    DataProtection,
    Write,
    Verify,
    ReadBack,
    CleanUp,
    ActiveMode,
    Ipv6,
    // The steps of an SFTP site that an FTP site has not. Each shows the
    // number of the FTP step it stands in for.
    SshVersion,
    KeyExchange,
    HostKey,
    AuthMethods,
    HomeFolder,
    Listing,
};

// Every step of an FTP site's check, in order.
QList<SiteCheckStepId> siteCheckSteps();
// Every step of an SFTP site's check, in order.
QList<SiteCheckStepId> sftpSiteCheckSteps();
// The number the operator sees: for an FTP step its place in the FTP check;
// an SFTP step shares the number of the FTP step it stands in for.
int siteCheckStepNumber(SiteCheckStepId id);
// "Name resolution", "Passive data connection" and so on.
QString siteCheckStepName(SiteCheckStepId id);
// The step as the Step column shows it: "1. Name resolution".
QString siteCheckStepTitle(SiteCheckStepId id);
// What the check does while the step runs: "waiting for the greeting".
QString siteCheckStepDoing(SiteCheckStepId id);

// What a rule makes of the facts of one step: the result, one line saying
// what was found, and for a warning or failure one line telling the operator
// what it means or what to do.
struct SiteCheckOutcome
{
    SiteCheckResult result = SiteCheckResult::Pass;
    QString detail;
    QString hint;

    static SiteCheckOutcome pass(const QString &detail)
    {
        return {SiteCheckResult::Pass, detail, QString()};
    }
    static SiteCheckOutcome warning(const QString &detail, const QString &hint)
    {
        return {SiteCheckResult::Warning, detail, hint};
    }
    static SiteCheckOutcome fail(const QString &detail, const QString &hint)
    {
        return {SiteCheckResult::Fail, detail, hint};
    }
    // A step that did not run: another failed first, or what it checks is
    // missing (no TLS, no write access).
    static SiteCheckOutcome skipped(const QString &reason)
    {
        return {SiteCheckResult::Skipped, reason, QString()};
    }
    // A step that did not run because the step numbered `number` came out
    // `result`: "step 8 failed".
    static SiteCheckOutcome skippedAfter(int number, SiteCheckResult result);
};

// The worst of several outcomes, skipped parts aside unless all are; their
// details and the hints of the worst joined.
SiteCheckOutcome combinedOutcome(const QList<SiteCheckOutcome> &outcomes);

// One step as it ran.
struct SiteCheckStep
{
    SiteCheckStepId id = SiteCheckStepId::NameResolution;
    SiteCheckOutcome outcome;
    qint64 elapsedMs = -1; // -1 when the step did not run
    QVariantMap measured;  // the values the outcome was decided on
    qint32 replyCode = 0;  // the server reply behind the outcome, if any
    QString replyText;
    // Of a step skipped after another: what that one found ("the account
    // cannot write in /ro"), which the verdict line names.
    QString cause;
};

// A step of a running site check that has begun, for the operator to see
// what the check waits for and how long it may wait.
struct SiteCheckProgress
{
    SiteCheckStepId id = SiteCheckStepId::NameResolution;
    int position = 0;     // its place among the check's steps, from 1
    int total = 0;        // how many steps the check has
    QString doing;        // "waiting for the greeting"
    int limitSeconds = 0; // how long it may take; 0 when nothing limits it
};
// The progress of step `id` among `steps`, the check's steps in order.
SiteCheckProgress siteCheckProgress(SiteCheckStepId id, const QList<SiteCheckStepId> &steps,
                                    int limitSeconds);

// A whole check: what was checked, when, each step as it ended, and the
// protocol lines of the run.
struct SiteCheckReport
{
    QString target; // "ftp://host:port/folder", never with the account in it
    QString label;  // the site as the console lists it
    QDateTime started;
    QList<SiteCheckStep> steps;
    QStringList protocolLines;
    qint64 durationMs = -1; // how long the whole check took; -1 when not measured
};

// How near its end a server's certificate may be: expiring within
// `warnDays` days the certificate step warns, within `critDays` it fails.
struct CertificateLimits
{
    int warnDays = 30;
    int critDays = 7;
};

// "ftp://host:port/folder" (or `scheme` in place of "ftp") for the report:
// an IPv6 address in brackets, the folder with one leading slash, no user or
// password.
QString siteCheckTarget(const QString &host, int port, const QString &folder,
                        const QString &scheme = QStringLiteral("ftp"));

// The worst result among the steps; Pass when there are none.
SiteCheckResult siteCheckVerdict(const QList<SiteCheckStep> &steps);

// "Site check: 13 passed, 2 warnings, 0 failed", and when steps were
// skipped how many, with the cause of the first skipped after another:
// "Site check: 8 passed, 2 warnings, 0 failed, 6 skipped: the account cannot
// write in /ro".
QString siteCheckVerdictLine(const QList<SiteCheckStep> &steps);

// The time a step took as the table shows it: "340 ms", "12.5 s", or "-"
// for a step that did not run.
QString siteCheckElapsedText(qint64 elapsedMs);

// The report as plain text for a ticket: the target and start, a table
// with the columns Step, Result, Time and Detail aligned with spaces, each
// warning's and failure's hint on a line of its own under its row, in the
// Detail column, and the verdict line.
QString siteCheckTable(const SiteCheckReport &report);

// The report as a JSON document, every protocol line's password masked once
// more, with the versions of libcurl and of the
// program as the caller names them (the program's from the application when
// empty).
QByteArray siteCheckJson(const SiteCheckReport &report, const QString &libcurlVersion,
                         const QString &programVersion = {});
// The same document as an object, for a document that holds several.
QJsonObject siteCheckJsonObject(const SiteCheckReport &report, const QString &libcurlVersion,
                                const QString &programVersion = {});
