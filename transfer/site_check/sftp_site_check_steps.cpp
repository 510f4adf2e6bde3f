// The steps of an SFTP site's check as each request's end decides them, and
// the deletion of the test file after the operator stopped the check.
#include "site_check/sftp_site_check_operation.h"

#include "engine/report_queue.h"
#include "sftp/sftp_listing.h"
#include "sftp/sftp_paths.h"
#include "sftp/sftp_plan.h"
#include "sftp/sftp_status.h"
#include "site_check/sftp_site_check_rules.h"
#include "site_check/site_check_file_rules.h"
#include "site_check/site_check_rules.h"

namespace {

qint64 milliseconds(qint64 microseconds)
{
    return microseconds < 0 ? -1 : microseconds / 1000;
}

} // namespace

SftpSiteCheckOperation::Request SftpSiteCheckOperation::afterLogin(CURLcode result)
{
    using Phase = SshLoginWatch::Phase;
    PhaseTimes times;
    m_ssh.addTimes(times);
    report(SiteCheckStepId::NameResolution, nameResolutionOutcome(m_order.host, m_addresses),
           m_resolveMs, {{QStringLiteral("addresses"), m_addresses}});
    if (m_addresses.isEmpty())
        return Request::None;
    long osErrno = 0;
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osErrno);
    const QString address = m_addresses.first();
    if (m_ssh.phase() < Phase::Connected) {
        report(
            SiteCheckStepId::Connection,
            connectionFailedOutcome(connectFailureKind(osErrno, result == CURLE_OPERATION_TIMEDOUT),
                                    address, m_order.port),
            -1, {{QStringLiteral("errno"), qlonglong(osErrno)}});
        skipFrom(SiteCheckStepId::SshVersion, QStringLiteral("no connection"));
        return Request::None;
    }
    char *ip = nullptr;
    curl_easy_getinfo(m_easy, CURLINFO_PRIMARY_IP, &ip);
    const QString peer = ip && *ip ? QString::fromLatin1(ip) : address;
    report(SiteCheckStepId::Connection,
           connectionOutcome(peer, m_order.port, milliseconds(times.connect)),
           milliseconds(times.connect), {{QStringLiteral("address"), peer}});
    const std::optional<SshSessionFacts> &session = m_ssh.session();
    report(SiteCheckStepId::SshVersion, sshVersionOutcome(session), -1,
           session ? QVariantMap{{QStringLiteral("version"), session->serverVersion}}
                   : QVariantMap{});

    SshFailureFacts facts;
    facts.result = result;
    facts.server = m_order.server();
    facts.detail = errorDetail();
    facts.timeoutSeconds = m_order.timeoutSeconds;
    facts.phase = m_ssh.phase();
    facts.login = m_ssh.method();
    const std::optional<HostKeyVerdict> &key = m_ssh.hostKey();
    if (!key) {
        report(SiteCheckStepId::KeyExchange,
               SiteCheckOutcome::fail(sshFailureText(facts),
                                      QStringLiteral("The server did not complete an SSH key "
                                                     "exchange with libssh2.")),
               -1);
        skipFrom(SiteCheckStepId::HostKey, QStringLiteral("no SSH session"));
        return Request::None;
    }
    report(SiteCheckStepId::KeyExchange, keyExchangeOutcome(session),
           milliseconds(times.keyExchange),
           session ? QVariantMap{{QStringLiteral("keyExchange"), session->keyExchange},
                                 {QStringLiteral("cipher"), session->cipher},
                                 {QStringLiteral("mac"), session->mac}}
                   : QVariantMap{});
    HostKeyFacts hostKey;
    hostKey.keyType = key->keyType;
    hostKey.fingerprint = key->fingerprint;
    hostKey.knownHosts = key->knownHosts;
    hostKey.pinned = key->pinned;
    hostKey.refused = key->action == HostKeyVerdict::Action::Refuse;
    if (hostKey.refused)
        hostKey.refusal = m_ssh.refusedKeyStep().outcome.failure;
    report(SiteCheckStepId::HostKey, hostKeyOutcome(hostKey), -1,
           {{QStringLiteral("keyType"), key->keyType},
            {QStringLiteral("fingerprint"), key->fingerprint}});
    if (key->action != HostKeyVerdict::Action::Accept) {
        skipFrom(SiteCheckStepId::Login,
                 QStringLiteral("the host key was refused: nothing of the account was sent"));
        return Request::None;
    }

    m_loggedIn = m_ssh.phase() >= Phase::LoggedIn;
    const SiteCheckOutcome login = m_loggedIn || result == CURLE_LOGIN_DENIED
                                       ? sftpLoginOutcome(m_loggedIn, m_order.user, m_ssh.method())
                                       : SiteCheckOutcome::fail(sshFailureText(facts), QString());
    report(SiteCheckStepId::Login, login, milliseconds(times.login),
           {{QStringLiteral("method"), m_ssh.method()}});
    report(SiteCheckStepId::AuthMethods, authMethodsOutcome(m_ssh.offeredMethods()), -1,
           {{QStringLiteral("offered"), m_ssh.offeredMethods()}});
    if (!m_loggedIn) {
        skipFrom(SiteCheckStepId::HomeFolder, QStringLiteral("no login"));
        return Request::None;
    }
    const std::optional<RemoteFolder> home =
        result == CURLE_OK ? folderFromSftpPwd(m_header) : std::nullopt;
    report(SiteCheckStepId::HomeFolder, homeFolderOutcome(home ? home->display() : QString()), -1);
    if (!home) {
        skipFrom(SiteCheckStepId::Listing, QStringLiteral("the folder is not known"));
        return Request::None;
    }
    // The console's folder, taken against the login folder until it is known from the root.
    RemoteFolder base = m_order.folder;
    if (!base.absolute) {
        base.segments = home->segments + base.segments;
        base.absolute = true;
    }
    const QStringList &args = m_order.command.args;
    m_folder = args.isEmpty() ? base : base.resolved(args.at(0));
    return Request::Listing;
}

SftpSiteCheckOperation::Request SftpSiteCheckOperation::afterListing(CURLcode result)
{
    const QString folder = m_folder.display();
    SftpListingFilter filter(false);
    const QByteArray names = filter.add(m_data.received()) + filter.finish();
    const QList<QByteArray> lines = names.split('\n');
    int entries = 0;
    bool taken = false;
    for (const QByteArray &line : lines) {
        const QByteArray name = line.endsWith('\r') ? line.chopped(1) : line;
        entries += name.isEmpty() ? 0 : 1;
        taken = taken || name == m_fileName.toUtf8();
    }
    const QString failed = failure(result, folder);
    report(SiteCheckStepId::Listing, sftpListingOutcome(folder, entries, failed),
           now() - m_requestStart, {{QStringLiteral("entries"), entries}});
    report(SiteCheckStepId::DataProtection, sftpDataProtectionOutcome(), -1);
    if (!failed.isEmpty()) {
        skipFrom(SiteCheckStepId::Write, QStringLiteral("the folder cannot be listed"));
        return Request::None;
    }
    if (taken) {
        skipFrom(SiteCheckStepId::Write,
                 QStringLiteral("%1 exists already and is left alone").arg(filePath()));
        return Request::None;
    }
    return Request::Upload;
}

SftpSiteCheckOperation::Request SftpSiteCheckOperation::afterUpload(CURLcode result)
{
    m_uploadEnded = QDateTime::currentDateTimeUtc();
    const QString folder = m_folder.display();
    const QString failed = failure(result, filePath());
    const std::optional<int> status =
        result == CURLE_OK ? std::nullopt : sftpStatus(result, errorDetail());
    const SiteCheckOutcome written = sftpWriteOutcome(status, failed, folder, m_data.sent());
    report(SiteCheckStepId::Write, written, now() - m_requestStart,
           {{QStringLiteral("bytes"), m_data.sent()}, {QStringLiteral("file"), filePath()}});
    if (written.result == SiteCheckResult::Pass)
        return Request::Verify;
    if (written.result == SiteCheckResult::Skipped) {
        m_data.setFileMayExist(false); // the server refused to open it
        skipFrom(SiteCheckStepId::Verify, writeRefusedText(folder));
        return Request::None;
    }
    for (const SiteCheckStepId id : {SiteCheckStepId::Verify, SiteCheckStepId::ReadBack})
        report(id, SiteCheckOutcome::skipped(QStringLiteral("the test file was not written")), -1);
    return m_data.fileMayExist() ? Request::Delete : Request::None;
}

SftpSiteCheckOperation::Request SftpSiteCheckOperation::afterVerify(CURLcode result)
{
    curl_off_t size = -1;
    curl_off_t modified = -1;
    curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
    curl_easy_getinfo(m_easy, CURLINFO_FILETIME_T, &modified);
    if (result != CURLE_OK) {
        report(SiteCheckStepId::Verify,
               SiteCheckOutcome::fail(failure(result, filePath()),
                                      QStringLiteral("The file just written cannot be found.")),
               now() - m_requestStart);
        return Request::ReadBack;
    }
    const QDateTime modifiedUtc =
        modified >= 0 ? QDateTime::fromSecsSinceEpoch(modified, Qt::UTC) : QDateTime();
    report(SiteCheckStepId::Verify,
           combinedOutcome({sftpSizeOutcome(m_data.payload().size(), size),
                            sftpClockOutcome(modifiedUtc, m_uploadEnded), sftpHashOutcome()}),
           now() - m_requestStart,
           {{QStringLiteral("size"), qlonglong(size)},
            {QStringLiteral("modifiedUtc"), modifiedUtc.toString(Qt::ISODate)}});
    return Request::ReadBack;
}

SftpSiteCheckOperation::Request SftpSiteCheckOperation::afterDelete(CURLcode result)
{
    m_rmFailure = failure(result, filePath());
    if (m_rmFailure.isEmpty())
        return Request::Gone;
    m_data.setFileMayExist(false); // named as left behind
    report(SiteCheckStepId::CleanUp, sftpCleanUpOutcome(m_rmFailure, filePath(), true),
           now() - m_cleanUpStart);
    return Request::None;
}

void SftpSiteCheckOperation::cleanUpAfterStop()
{
    m_data.setFileMayExist(false);
    const std::optional<HostKeyVerdict> &key = m_ssh.hostKey();
    QString failed = QStringLiteral("the host key is not known");
    if (key) {
        try {
            CurlEasy easy(curl_easy_init());
            if (!easy)
                throw std::runtime_error("libcurl could not make a request handle.");
            SshLogin login = m_logins.at(m_loginIndex);
            login.authTypes = oneAttempt(login.authTypes, m_ssh.offeredMethods());
            prepareSftpRequest(easy.get(), m_order, login, SftpRequestKind::Look,
                               sftpUrl(m_order.serverUrl, QStringLiteral("/")));
            CurlList commands;
            appendTo(commands, "rm " + sftpQuoted(filePath()));
            setOption(easy.get(), CURLOPT_QUOTE, commands.get());
            // Pinned to the key the check saw, base64 without "SHA256:".
            const QByteArray pin = key->fingerprint.mid(int(qstrlen("SHA256:"))).toLatin1();
            setOption(easy.get(), CURLOPT_SSH_HOST_PUBLIC_KEY_SHA256, pin.constData());
            char error[CURL_ERROR_SIZE] = {};
            setOption(easy.get(), CURLOPT_ERRORBUFFER, error);
            const CURLcode result = curl_easy_perform(easy.get());
            const std::optional<int> status = sftpStatus(result, QString::fromUtf8(error));
            failed = result == CURLE_OK ? QString()
                     : status           ? sftpStatusText(*status, filePath())
                                        : QString::fromUtf8(curl_easy_strerror(result));
        } catch (const std::exception &error) {
            failed = QString::fromUtf8(error.what());
        }
    }
    m_reports.protocol(ProtocolEvent::Kind::Info,
                       QStringLiteral("Deleting the test file: %1")
                           .arg(failed.isEmpty() ? QStringLiteral("done") : failed));
    report(SiteCheckStepId::CleanUp, sftpCleanUpOutcome(failed, filePath(), false), -1);
}
