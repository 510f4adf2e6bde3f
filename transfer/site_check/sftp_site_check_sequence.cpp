#include "site_check/sftp_site_check_sequence.h"

#include "sftp/sftp_listing.h"
#include "sftp/sftp_paths.h"
#include "sftp/sftp_plan.h"
#include "sftp/sftp_status.h"
#include "site_check/rules/sftp_site_check_rules.h"
#include "site_check/rules/site_check_file_rules.h"
#include "site_check/rules/site_check_rules.h"
#include "site_check/site_check_clean_up.h"
#include "site_check/site_check_findings.h"
#include "text/proxy_failure_text.h"

namespace {

using Phase = SshFailureFacts::Phase;

// SSH_FX_NO_SUCH_FILE, and SSH_FX_PERMISSION_DENIED.
constexpr int NoSuchFile = 2;
constexpr int PermissionDenied = 3;

} // namespace

SftpSiteCheckSequence::SftpSiteCheckSequence(Target target, SiteCheckBook::Outlets outlets)
    : m_target(std::move(target)), m_book(sftpSiteCheckSteps(), std::move(outlets))
{}

QString SftpSiteCheckSequence::filePath() const
{
    return sftpPath(m_folder, m_target.fileName);
}

void SftpSiteCheckSequence::resolved(const QStringList &addresses, qint64 ms)
{
    m_addresses = addresses;
    m_resolveMs = ms;
}

void SftpSiteCheckSequence::report(SiteCheckStepId id, const SiteCheckOutcome &outcome,
                                   qint64 elapsedMs, const QVariantMap &measured)
{
    m_book.report(siteCheckStep(id, outcome, elapsedMs, measured));
}

QString SftpSiteCheckSequence::failure(const SftpCheckFacts &f, const QString &path) const
{
    if (f.result == CURLE_OK)
        return {};
    if (const std::optional<int> status = sftpStatus(f.result, f.error))
        return sftpStatusText(*status, path);
    return f.error.isEmpty() ? QString::fromUtf8(curl_easy_strerror(f.result)) : f.error;
}

SftpCheckRequest SftpSiteCheckSequence::next(SftpCheckRequest done, const SftpCheckFacts &f)
{
    switch (done) {
    case SftpCheckRequest::Login:
        return afterLogin(f);
    case SftpCheckRequest::Listing:
        return afterListing(f);
    case SftpCheckRequest::Upload:
        return afterUpload(f);
    case SftpCheckRequest::Verify:
        return afterVerify(f);
    case SftpCheckRequest::ReadBack:
        return afterReadBack(f);
    case SftpCheckRequest::Delete:
        return afterDelete(f);
    case SftpCheckRequest::Gone:
        afterGone(f);
        break;
    case SftpCheckRequest::None:
        break;
    }
    return SftpCheckRequest::None;
}

bool SftpSiteCheckSequence::afterConnection(const SftpCheckFacts &f)
{
    report(SiteCheckStepId::NameResolution, nameResolutionOutcome(m_target.order.host, m_addresses),
           m_resolveMs, {{QStringLiteral("addresses"), m_addresses}});
    if (m_addresses.isEmpty()) {
        m_book.skipAfter(SiteCheckStepId::NameResolution, SiteCheckStepId::Connection);
        return false;
    }
    const QString address = m_addresses.first();
    if (!f.proxyFailure.isEmpty()) {
        report(SiteCheckStepId::Connection,
               SiteCheckOutcome::fail(f.proxyFailure, proxyFailureHint()), -1, {});
        m_book.skipAfter(SiteCheckStepId::Connection, SiteCheckStepId::SshVersion);
        return false;
    }
    if (f.phase < Phase::Connected) {
        report(SiteCheckStepId::Connection,
               connectionFailedOutcome(
                   connectFailureKind(f.osErrno, f.result == CURLE_OPERATION_TIMEDOUT), address,
                   m_target.order.port),
               -1, {{QStringLiteral("errno"), qlonglong(f.osErrno)}});
        m_book.skipAfter(SiteCheckStepId::Connection, SiteCheckStepId::SshVersion);
        return false;
    }
    const QString peer = f.peer.isEmpty() ? address : f.peer;
    const std::optional<ProxyAddress> &proxy = m_target.order.proxy;
    report(SiteCheckStepId::Connection,
           proxy ? proxiedConnectionOutcome(m_target.order.host, m_target.order.port,
                                            proxy->route(), f.connectMs)
                 : connectionOutcome(peer, m_target.order.port, f.connectMs),
           f.connectMs, {{QStringLiteral("address"), peer}});
    // Where libssh2's session could not be read, the server's own offer
    // still names its version.
    const QString version =
        f.session ? f.session->serverVersion : (f.offer ? f.offer->version : QString());
    report(SiteCheckStepId::SshVersion, sshVersionOutcome(version), -1,
           version.isEmpty() ? QVariantMap{} : QVariantMap{{QStringLiteral("version"), version}});
    return true;
}

bool SftpSiteCheckSequence::afterHostKey(const SftpCheckFacts &f)
{
    if (!f.hostKey) {
        report(SiteCheckStepId::KeyExchange,
               SiteCheckOutcome::fail(sshFailure(f),
                                      QStringLiteral("The server did not complete an SSH key "
                                                     "exchange with libssh2.")),
               -1);
        m_book.skipAfter(SiteCheckStepId::KeyExchange, SiteCheckStepId::HostKey);
        return false;
    }
    report(SiteCheckStepId::KeyExchange, keyExchangeOutcome(f.session, f.offer), f.keyExchangeMs,
           keyExchangeMeasures(f.session, f.offer));
    HostKeyFacts key;
    key.keyType = f.hostKey->keyType;
    key.fingerprint = f.hostKey->fingerprint;
    key.knownHosts = f.hostKey->knownHosts;
    key.pinned = f.hostKey->pinned;
    key.refused = f.hostKey->action == HostKeyVerdict::Action::Refuse;
    if (key.refused)
        key.refusal = f.refusal;
    report(SiteCheckStepId::HostKey, hostKeyOutcome(key), -1,
           {{QStringLiteral("keyType"), key.keyType},
            {QStringLiteral("fingerprint"), key.fingerprint}});
    if (f.hostKey->action != HostKeyVerdict::Action::Accept) {
        m_book.skipAfter(SiteCheckStepId::HostKey, SiteCheckStepId::Login,
                         QStringLiteral("the host key was refused: nothing of the account was "
                                        "sent"));
        return false;
    }
    return true;
}

QString SftpSiteCheckSequence::sshFailure(const SftpCheckFacts &f) const
{
    SshFailureFacts facts;
    facts.result = f.result;
    facts.server = m_target.order.server();
    facts.detail = f.error;
    facts.timeoutSeconds = m_target.order.timeoutSeconds;
    facts.phase = f.phase;
    facts.login = f.method;
    facts.nothingInCommon = f.nothingInCommon;
    return sshFailureText(facts);
}

SftpCheckRequest SftpSiteCheckSequence::afterLogin(const SftpCheckFacts &f)
{
    if (!afterConnection(f) || !afterHostKey(f))
        return SftpCheckRequest::None;
    m_loggedIn = f.phase >= Phase::LoggedIn;
    const SiteCheckOutcome login = m_loggedIn || f.result == CURLE_LOGIN_DENIED
                                       ? sftpLoginOutcome(m_loggedIn, m_target.order.user, f.method)
                                       : SiteCheckOutcome::fail(sshFailure(f), QString());
    report(SiteCheckStepId::Login, login, f.loginMs, {{QStringLiteral("method"), f.method}});
    report(SiteCheckStepId::AuthMethods, authMethodsOutcome(f.offeredMethods), -1,
           {{QStringLiteral("offered"), f.offeredMethods}});
    if (!m_loggedIn) {
        m_book.skipAfter(SiteCheckStepId::Login, SiteCheckStepId::HomeFolder);
        return SftpCheckRequest::None;
    }
    const std::optional<RemoteFolder> home =
        f.result == CURLE_OK ? folderFromSftpPwd(f.pwd) : std::nullopt;
    report(SiteCheckStepId::HomeFolder, homeFolderOutcome(home ? home->display() : QString()), -1);
    if (!home) {
        m_book.skipAfter(SiteCheckStepId::HomeFolder, SiteCheckStepId::Listing);
        return SftpCheckRequest::None;
    }
    // The console's folder, taken against the login folder until it is known from the root.
    RemoteFolder base = m_target.order.folder;
    if (!base.absolute) {
        base.segments = home->segments + base.segments;
        base.absolute = true;
    }
    const QStringList &args = m_target.order.command.args;
    m_folder = args.isEmpty() ? base : base.resolved(args.at(0));
    return SftpCheckRequest::Listing;
}

SftpCheckRequest SftpSiteCheckSequence::afterListing(const SftpCheckFacts &f)
{
    const QString folder = m_folder.display();
    SftpListingFilter filter(false);
    const QByteArray names = filter.add(f.received) + filter.finish();
    int entries = 0;
    bool taken = false;
    for (const QByteArray &line : names.split('\n')) {
        const QByteArray name = line.endsWith('\r') ? line.chopped(1) : line;
        entries += name.isEmpty() ? 0 : 1;
        taken = taken || name == m_target.fileName.toUtf8();
    }
    const std::optional<int> status =
        f.result == CURLE_OK ? std::nullopt : sftpStatus(f.result, f.error);
    if (status == NoSuchFile) {
        report(SiteCheckStepId::Listing, folderOutcome(folder, true, failure(f, folder)),
               f.elapsedMs);
        m_book.skipAfter(SiteCheckStepId::Listing, SiteCheckStepId::DataProtection,
                         folderFinding(folder, true));
        return SftpCheckRequest::None;
    }
    const QString failed = failure(f, folder);
    report(SiteCheckStepId::Listing, sftpListingOutcome(folder, entries, failed), f.elapsedMs,
           {{QStringLiteral("entries"), entries}});
    report(SiteCheckStepId::DataProtection, sftpDataProtectionOutcome(), -1);
    if (!failed.isEmpty()) {
        m_book.skipAfter(SiteCheckStepId::Listing, SiteCheckStepId::Write);
        return SftpCheckRequest::None;
    }
    if (taken) {
        const QString exists =
            QStringLiteral("%1 exists already and is left alone").arg(filePath());
        m_book.skipFrom(SiteCheckStepId::Write, exists, exists);
        return SftpCheckRequest::None;
    }
    return SftpCheckRequest::Upload;
}

SftpCheckRequest SftpSiteCheckSequence::afterUpload(const SftpCheckFacts &f)
{
    const QString folder = m_folder.display();
    const std::optional<int> status =
        f.result == CURLE_OK ? std::nullopt : sftpStatus(f.result, f.error);
    m_writeRefused = status == PermissionDenied;
    report(SiteCheckStepId::Write,
           uploadOutcome(failure(f, filePath()), m_writeRefused, folder, f.sent), f.elapsedMs,
           {{QStringLiteral("bytes"), f.sent}, {QStringLiteral("file"), filePath()}});
    if (f.result == CURLE_OK)
        return SftpCheckRequest::Verify;
    if (m_writeRefused) {
        m_book.skipAfter(SiteCheckStepId::Write, SiteCheckStepId::Verify, writeRefusedText(folder));
        return SftpCheckRequest::None;
    }
    m_book.skipAfter(SiteCheckStepId::Write, SiteCheckStepId::Verify, SiteCheckStepId::ReadBack);
    return f.fileMayExist ? SftpCheckRequest::Delete : SftpCheckRequest::None;
}

SftpCheckRequest SftpSiteCheckSequence::afterVerify(const SftpCheckFacts &f)
{
    if (f.result != CURLE_OK) {
        report(SiteCheckStepId::Verify,
               SiteCheckOutcome::fail(failure(f, filePath()),
                                      QStringLiteral("The file just written cannot be found.")),
               f.elapsedMs);
        return SftpCheckRequest::ReadBack;
    }
    const QDateTime modifiedUtc =
        f.modified >= 0 ? QDateTime::fromSecsSinceEpoch(f.modified, Qt::UTC) : QDateTime();
    report(SiteCheckStepId::Verify,
           combinedOutcome({sftpSizeOutcome(m_target.payload.size(), f.size),
                            sftpClockOutcome(modifiedUtc, f.uploadEndedUtc), sftpHashOutcome()}),
           f.elapsedMs,
           {{QStringLiteral("size"), qlonglong(f.size)},
            {QStringLiteral("modifiedUtc"), modifiedUtc.toString(Qt::ISODate)}});
    return SftpCheckRequest::ReadBack;
}

SftpCheckRequest SftpSiteCheckSequence::afterReadBack(const SftpCheckFacts &f)
{
    report(SiteCheckStepId::ReadBack,
           f.result == CURLE_OK
               ? readBackOutcome(m_target.payload, f.received, f.firstByteMs, f.elapsedMs)
               : SiteCheckOutcome::fail(failure(f, filePath()),
                                        QStringLiteral("The file cannot be read back.")),
           f.elapsedMs, {{QStringLiteral("bytes"), qlonglong(f.received.size())}});
    return SftpCheckRequest::Delete;
}

SftpCheckRequest SftpSiteCheckSequence::afterDelete(const SftpCheckFacts &f)
{
    m_rmFailure = failure(f, filePath());
    m_deleteMs = f.elapsedMs;
    if (m_rmFailure.isEmpty())
        return SftpCheckRequest::Gone;
    report(SiteCheckStepId::CleanUp, sftpCleanUpOutcome(m_rmFailure, filePath(), true),
           f.elapsedMs);
    return SftpCheckRequest::None;
}

void SftpSiteCheckSequence::afterGone(const SftpCheckFacts &f)
{
    // The file still answers a look: "rm" did not take it.
    report(SiteCheckStepId::CleanUp,
           sftpCleanUpOutcome(QString(), filePath(), f.result == CURLE_OK),
           m_deleteMs + qMax<qint64>(0, f.elapsedMs));
}

void SftpSiteCheckSequence::deletedAfterStop(const SftpCheckFacts &f)
{
    const bool answered = f.result == CURLE_OK || sftpStatus(f.result, f.error).has_value();
    report(SiteCheckStepId::CleanUp,
           answered ? sftpCleanUpOutcome(failure(f, filePath()), filePath(), false)
                    : cleanUpUnanswered(filePath(), failure(f, filePath())),
           f.elapsedMs);
}
