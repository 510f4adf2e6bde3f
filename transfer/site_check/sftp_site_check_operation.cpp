#include "site_check/sftp_site_check_operation.h"

#include "engine/report_queue.h"
#include "sftp/sftp_paths.h"
#include "sftp/sftp_plan.h"
#include "sftp/ssh_offer_probe.h"
#include "site_check/rules/site_check_file_rules.h"
#include "site_check/site_check_findings.h"
#include "text/failure_text.h"

#include <QDir>
#include <QRandomGenerator>

namespace {

qint64 milliseconds(qint64 microseconds)
{
    return microseconds < 0 ? -1 : microseconds / 1000;
}

} // namespace

SftpSiteCheckOperation::SftpSiteCheckOperation(OperationOrder order,
                                               const OperationContext &context)
    : CurlOperation(std::move(order), context),
      m_logins(sshLoginsFor(m_order.password, QDir::homePath(),
                            !qEnvironmentVariableIsEmpty("SSH_AUTH_SOCK"))),
      m_ssh(m_order, m_logins.front(), context.trust.hostKey, m_reports, [] {})
{
    m_clock.start();
    QRandomGenerator random(QRandomGenerator::system()->generate());
    m_fileName = siteCheckFileName(QDateTime::currentDateTimeUtc(), random);
    m_data.setPayload(siteCheckPayload(random));
    m_sequence = std::make_unique<SftpSiteCheckSequence>(
        SftpSiteCheckSequence::Target{m_order, m_fileName, m_data.payload()},
        SiteCheckBook::Outlets{
            [this](const SiteCheckStep &step) { m_reports.siteCheckStep(step); },
            [this](const SiteCheckProgress &progress) { m_reports.siteCheckProgress(progress); }});
    m_reports.protocol(ProtocolEvent::Kind::Info, startLine(m_order.command));
    m_sequence->resolving();
    m_reports.flush();
    const QStringList addresses = resolveHost(m_order.host);
    m_sequence->resolved(addresses, now());
    setUp(SftpCheckRequest::Login);
}

void SftpSiteCheckOperation::setUp(SftpCheckRequest request)
{
    m_request = request;
    m_requestStart = now();
    m_commands.reset();
    SftpRequestKind kind = SftpRequestKind::Look;
    const QString file = m_sequence->filePath();
    QString path = file;
    SshLogin login = m_logins.at(m_loginIndex);
    switch (request) {
    case SftpCheckRequest::Login: {
        // libcurl resolves "/~/" against the login folder and its "pwd" names it.
        const SftpStep home = resolveStep(RemoteFolder{});
        path = home.path;
        for (const QByteArray &command : home.commands)
            appendTo(m_commands, command);
        break;
    }
    case SftpCheckRequest::Listing:
        kind = SftpRequestKind::ListNames;
        path = sftpFolderPath(m_sequence->folder());
        break;
    case SftpCheckRequest::Upload:
        kind = SftpRequestKind::Upload;
        break;
    case SftpCheckRequest::ReadBack:
        kind = SftpRequestKind::Download;
        break;
    case SftpCheckRequest::Delete:
        path = QStringLiteral("/");
        appendTo(m_commands, "rm " + sftpQuoted(file));
        // After a stop the deletion logs in anew: one attempt, as the
        // login did.
        if (m_cleanUp.running())
            login.authTypes = oneAttempt(login.authTypes, m_ssh.offeredMethods());
        break;
    case SftpCheckRequest::Verify:
    case SftpCheckRequest::Gone:
    case SftpCheckRequest::None:
        break;
    }
    prepareSftpRequest(m_easy, m_cleanUp.running() ? SiteCheckCleanUp::limited(m_order) : m_order,
                       login, kind, sftpUrl(m_order.serverUrl, path));
    if (m_commands)
        setOption(m_easy, CURLOPT_QUOTE, m_commands.get());
    if (request == SftpCheckRequest::Verify)
        setOption(m_easy, CURLOPT_FILETIME, 1L);
    if (m_cleanUp.running())
        SiteCheckCleanUp::limit(m_easy);
    m_ssh.install(m_easy);
    installCallbacks();
    m_data.restart(m_easy, request == SftpCheckRequest::Upload);
    m_sequence->started(request);
}

void SftpSiteCheckOperation::afterAction()
{
    m_ssh.afterAction(m_easy);
    if (m_request == SftpCheckRequest::Login)
        m_sequence->reached(m_ssh.phase());
}

OperationStep SftpSiteCheckOperation::done(CURLcode result)
{
    m_ssh.afterAction(m_easy); // a connection made in libcurl's last call still counts
    if (m_cleanUp.running()) {
        m_sequence->deletedAfterStop(facts(result));
        return OperationStep::finished(withLogin(m_cleanUp.ended(m_sequence->book())));
    }
    if (m_ssh.refusedKey()) {
        OperationStep step = m_ssh.refusedKeyStep();
        // An unknown key: the engine asks, and on Yes the check starts anew.
        if (step.kind != OperationStep::Kind::Finished)
            return step;
        m_sequence->next(SftpCheckRequest::Login, facts(result));
        return OperationStep::finished(withLogin(m_sequence->book().finish()));
    }
    // A key the server refused: the next one, on a connection of its own.
    if (m_request == SftpCheckRequest::Login && result == CURLE_LOGIN_DENIED &&
        m_loginIndex + 1 < m_logins.size()) {
        m_ssh.setLogin(m_logins.at(++m_loginIndex));
        setUp(SftpCheckRequest::Login);
        return continued();
    }
    if (m_request == SftpCheckRequest::Upload)
        m_uploadEnded = QDateTime::currentDateTimeUtc();
    const SftpCheckRequest next = m_sequence->next(m_request, facts(result));
    // Deleted, named as left behind, or never made.
    if (m_request == SftpCheckRequest::Delete || m_request == SftpCheckRequest::Gone ||
        m_sequence->writeRefused())
        m_data.setFileMayExist(false);
    if (next == SftpCheckRequest::None)
        return OperationStep::finished(withLogin(m_sequence->book().finish()));
    try {
        setUp(next);
    } catch (const std::exception &error) {
        m_sequence->book().skipFrom(SiteCheckStepId::NameResolution,
                                    QString::fromUtf8(error.what()));
        return OperationStep::finished(withLogin(m_sequence->book().finish()));
    }
    return continued();
}

SftpCheckFacts SftpSiteCheckOperation::facts(CURLcode result) const
{
    SftpCheckFacts f;
    f.result = result;
    f.error = sshHandshakeReachable() ? errorDetail() : sshHandshakeMissingText(m_order.server());
    f.elapsedMs = now() - m_requestStart;
    PhaseTimes times;
    m_ssh.addTimes(times);
    f.phase = m_ssh.phase();
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &f.osErrno);
    char *ip = nullptr;
    curl_easy_getinfo(m_easy, CURLINFO_PRIMARY_IP, &ip);
    f.peer = ip && *ip ? QString::fromLatin1(ip) : QString();
    f.proxyFailure = proxyFailure(result).value_or(QString());
    f.connectMs = milliseconds(times.connect);
    f.keyExchangeMs = milliseconds(times.keyExchange);
    f.loginMs = milliseconds(times.login);
    f.session = m_ssh.session();
    f.hostKey = m_ssh.hostKey();
    if (const std::optional<SshNegotiation> failed = takeSshNegotiation()) {
        f.nothingInCommon = sshNothingInCommon(failed->server, failed->ours, failed->library);
        f.offer = SshOfferReading{SshOfferReading::Status::Complete, failed->serverVersion,
                                  failed->server, QString()};
    } else if (m_request == SftpCheckRequest::Login && f.hostKey && !f.peer.isEmpty() &&
               !m_order.proxy) {
        // What the server offered beside what was chosen: read anew, since
        // libssh2 keeps the offer to itself.
        std::optional<SshOfferReading> offer =
            probeSshOffer(f.peer, m_order.port, SshOfferTimeoutMs);
        if (offer && offer->status == SshOfferReading::Status::Complete)
            f.offer = std::move(offer);
    }
    if (f.hostKey && f.hostKey->action == HostKeyVerdict::Action::Refuse)
        f.refusal = m_ssh.refusedKeyStep().outcome.failure;
    f.offeredMethods = m_ssh.offeredMethods();
    f.method = m_ssh.method();
    f.pwd = m_header;
    f.received = m_data.received();
    f.sent = m_data.sent();
    f.firstByteMs = m_data.firstByteMs() < 0 ? -1 : m_data.firstByteMs() - m_requestStart;
    f.fileMayExist = m_data.fileMayExist();
    f.uploadEndedUtc = m_uploadEnded;
    if (m_request == SftpCheckRequest::Verify) {
        curl_off_t size = -1;
        curl_off_t modified = -1;
        curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
        curl_easy_getinfo(m_easy, CURLINFO_FILETIME_T, &modified);
        f.size = size;
        f.modified = modified;
    }
    return f;
}

OperationOutcome SftpSiteCheckOperation::withLogin(OperationOutcome outcome) const
{
    if (m_sequence->loggedIn())
        outcome.protection = m_ssh.protection();
    outcome.times.total = now() * 1000;
    return outcome;
}

OperationStep SftpSiteCheckOperation::stopping()
{
    return m_cleanUp.stopping(
        m_data.fileMayExist(), m_sequence->book(), m_reports,
        [this] { setUp(SftpCheckRequest::Delete); }, [this] { return stop(); });
}

OperationOutcome SftpSiteCheckOperation::stop()
{
    return withLogin(m_cleanUp.stopped(m_sequence->book(), m_reports, m_sequence->filePath()));
}

ConnectionListener::Socket SftpSiteCheckOperation::socketOpening(const QString &address)
{
    // The password goes out once: only the test file's deletion may log in again.
    if (m_sequence->loggedIn() && m_request != SftpCheckRequest::Delete &&
        m_request != SftpCheckRequest::Gone)
        return Socket::Refused;
    m_sequence->connecting();
    m_ssh.socketOpening(address);
    return Socket::Control;
}

// --- libcurl's callbacks. They run inside libcurl calls, so they only record and queue.

bool SftpSiteCheckOperation::replyHeader(QByteArrayView line)
{
    m_header = QString::fromUtf8(line).trimmed();
    return true;
}

void SftpSiteCheckOperation::debugOutput(curl_infotype type, QByteArrayView data)
{
    m_ssh.debugOutput(m_easy, type, data);
}
