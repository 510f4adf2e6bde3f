// The steps of both checks: their order, names and numbers, what the check
// does while each runs.
#include "text/report/site_check_report.h"

#include <algorithm>
#include <iterator>

namespace {

struct StepRow
{
    SiteCheckStepId id;
    const char *name;
    const char *doing;
    int number = int(id);
};

// The steps in the order they run, with the names the operator reads.
constexpr StepRow StepTable[] = {
    {SiteCheckStepId::NameResolution, "Name resolution", "resolving the name"},
    {SiteCheckStepId::Connection, "Connection", "connecting"},
    {SiteCheckStepId::Greeting, "Greeting", "waiting for the greeting"},
    {SiteCheckStepId::Encryption, "Encryption", "setting up TLS"},
    {SiteCheckStepId::Certificate, "Certificate", "checking the certificate"},
    {SiteCheckStepId::Login, "Login", "logging in"},
    {SiteCheckStepId::Features, "Features", "asking for the features"},
    {SiteCheckStepId::PassiveData, "Passive data connection", "listing in passive mode"},
    {SiteCheckStepId::PassiveAddress, "Passive address", "reading the passive address"},
    {SiteCheckStepId::DataProtection, "Data protection", "checking the data's protection"},
    {SiteCheckStepId::Write, "Write", "writing the test file"},
    {SiteCheckStepId::Verify, "Verify", "verifying the test file"},
    {SiteCheckStepId::ReadBack, "Read back", "reading the test file back"},
    {SiteCheckStepId::CleanUp, "Clean-up", "deleting the test file"},
    {SiteCheckStepId::ActiveMode, "Active mode", "listing in active mode"},
    {SiteCheckStepId::Ipv6, "IPv6", "logging in over IPv6"},
};

// An SFTP site's steps: the greeting, encryption and certificate of FTP
// become the SSH version, key exchange and host key, FTP's features the
// login methods offered, and its two passive steps the home folder and the
// listing. The data travels inside the SSH connection, the test file's
// steps are FTP's.
constexpr StepRow SftpStepTable[] = {
    {SiteCheckStepId::NameResolution, "Name resolution", "resolving the name"},
    {SiteCheckStepId::Connection, "Connection", "connecting"},
    {SiteCheckStepId::SshVersion, "SSH version", "waiting for the SSH version", 3},
    {SiteCheckStepId::KeyExchange, "Key exchange and cipher", "exchanging keys", 4},
    {SiteCheckStepId::HostKey, "Host key", "checking the host key", 5},
    {SiteCheckStepId::Login, "Login", "logging in"},
    {SiteCheckStepId::AuthMethods, "Authentication methods", "reading the login methods", 7},
    {SiteCheckStepId::HomeFolder, "Home folder", "asking for the home folder", 8},
    {SiteCheckStepId::Listing, "Listing", "listing the folder", 9},
    {SiteCheckStepId::DataProtection, "Data protection", "checking the data's protection"},
    {SiteCheckStepId::Write, "Write", "writing the test file"},
    {SiteCheckStepId::Verify, "Verify", "verifying the test file"},
    {SiteCheckStepId::ReadBack, "Read back", "reading the test file back"},
    {SiteCheckStepId::CleanUp, "Clean-up", "deleting the test file"},
};

const StepRow *stepRow(SiteCheckStepId id)
{
    const auto matches = [id](const StepRow &r) { return r.id == id; };
    const auto ftp = std::find_if(std::begin(StepTable), std::end(StepTable), matches);
    if (ftp != std::end(StepTable))
        return ftp;
    const auto sftp = std::find_if(std::begin(SftpStepTable), std::end(SftpStepTable), matches);
    return sftp == std::end(SftpStepTable) ? nullptr : sftp;
}

} // namespace

SiteCheckOutcome SiteCheckOutcome::skippedAfter(int number, SiteCheckResult result)
{
    switch (result) {
    case SiteCheckResult::Fail:
        return skipped(QStringLiteral("step %1 failed").arg(number));
    case SiteCheckResult::Warning:
        return skipped(QStringLiteral("step %1 gave a warning").arg(number));
    case SiteCheckResult::Pass:
    case SiteCheckResult::Skipped:
        break;
    }
    return skipped(QStringLiteral("step %1 did not run").arg(number));
}

QList<SiteCheckStepId> siteCheckSteps()
{
    QList<SiteCheckStepId> steps;
    for (const StepRow &row : StepTable)
        steps << row.id;
    return steps;
}

QList<SiteCheckStepId> sftpSiteCheckSteps()
{
    QList<SiteCheckStepId> steps;
    for (const StepRow &row : SftpStepTable)
        steps << row.id;
    return steps;
}

int siteCheckStepNumber(SiteCheckStepId id)
{
    const StepRow *row = stepRow(id);
    return row ? row->number : int(id);
}

QString siteCheckStepName(SiteCheckStepId id)
{
    const StepRow *row = stepRow(id);
    return row ? QLatin1String(row->name) : QString();
}

QString siteCheckStepTitle(SiteCheckStepId id)
{
    return QStringLiteral("%1. %2").arg(siteCheckStepNumber(id)).arg(siteCheckStepName(id));
}

QString siteCheckStepDoing(SiteCheckStepId id)
{
    const StepRow *row = stepRow(id);
    return row ? QLatin1String(row->doing) : QString();
}

SiteCheckProgress siteCheckProgress(SiteCheckStepId id, const QList<SiteCheckStepId> &steps,
                                    int limitSeconds)
{
    SiteCheckProgress progress;
    progress.id = id;
    progress.position = int(steps.indexOf(id)) + 1;
    progress.total = int(steps.size());
    progress.doing = siteCheckStepDoing(id);
    progress.limitSeconds = qMax(0, limitSeconds);
    return progress;
}
