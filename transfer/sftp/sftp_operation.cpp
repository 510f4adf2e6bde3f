#include "sftp/sftp_operation.h"

#include "engine/report_queue.h"
#include "local_path.h"
#include "sftp/sftp_paths.h"
#include "sftp/sftp_status.h"
#include "sftp/ssh_handshake.h"

#include <QDir>

#include <cerrno>

namespace {

qint64 span(qint64 from, qint64 to)
{
    return from >= 0 && to >= from ? to - from : -1;
}

} // namespace

SftpOperation::SftpOperation(OperationOrder order, const OperationContext &context)
    : CurlOperation(std::move(order), context),
      m_logins(sshLoginsFor(m_order.password, QDir::homePath(),
                            !qEnvironmentVariableIsEmpty("SSH_AUTH_SOCK"))),
      m_data(m_reports, [this] { dataMoving(); }),
      m_ssh(m_order, m_logins.front(), context.trust.hostKey, m_reports,
            [this] { beginCommand(); }),
      m_folder(m_order.folder)
{
    m_clock.start();
    m_folderResolved = m_folder.absolute && m_order.command.verb != TransferVerb::Pwd;
    m_data.open(m_order.command, m_order.resumeFrom, context.sink, m_order.memoryData);
    m_steps = m_folderResolved ? sftpSteps(m_order.command, m_folder, m_data.uploadName())
                               : std::vector<SftpStep>{resolveStep(m_folder)};
    setUp(m_steps.front());
    m_reports.protocol(ProtocolEvent::Kind::Info, startLine(m_order.command));
}

void SftpOperation::setUp(const SftpStep &step)
{
    prepareSftpRequest(m_easy, m_order, m_logins.at(m_loginIndex), step.kind,
                       sftpUrl(m_order.serverUrl, step.path));
    m_commands.reset();
    for (const QByteArray &command : step.commands)
        appendTo(m_commands, command);
    if (m_commands)
        setOption(m_easy, CURLOPT_QUOTE, m_commands.get());
    m_ssh.install(m_easy);
    installCallbacks();
    m_data.install(m_easy, step.kind == SftpRequestKind::Upload,
                   step.role == SftpStep::Role::ProveEmpty);
    m_started = false;
    m_pwdReply.clear();
}

// The request goes out once the login stands: at once on a pooled login.
void SftpOperation::beginCommand()
{
    const SftpStep::Role role = m_steps.at(m_stepIndex).role;
    if (m_started || role == SftpStep::Role::CheckSize || role == SftpStep::Role::ProveEmpty)
        return;
    m_started = true;
    m_ssh.reach(Phase::LoggedIn);
    m_at.requestSent = now();
    m_reports.state(TransferState::Requesting);
    m_reports.state(TransferState::RequestSent);
}

void SftpOperation::afterAction()
{
    m_ssh.afterAction(m_easy);
}

ConnectionListener::Socket SftpOperation::socketOpening(const QString &address)
{
    m_ssh.socketOpening(address);
    return Socket::Control;
}

OperationStep SftpOperation::done(CURLcode result)
{
    if (m_ssh.refusedKey()) {
        OperationStep step = m_ssh.refusedKeyStep();
        if (step.kind == OperationStep::Kind::Finished)
            step.outcome = finish(false, step.outcome.failure);
        return step;
    }
    if (result == CURLE_LOGIN_DENIED && m_loginIndex + 1 < m_logins.size())
        return nextLogin();
    // A read that ended with no data proves the file empty; data, or a
    // failure, leaves its size unknown (libcurl closes the connection of a
    // read cut short, which the next command opens anew).
    if (m_steps.at(m_stepIndex).role == SftpStep::Role::ProveEmpty) {
        if (result == CURLE_OK && !m_data.refused())
            m_size = 0;
        return OperationStep::finished(finish(true, {}));
    }
    if (result != CURLE_OK || !m_data.files().failure().isEmpty())
        return OperationStep::finished(failed(result));
    beginCommand(); // a request that said nothing on its way still went out
    const SftpStep &step = m_steps.at(m_stepIndex);
    curl_off_t size = -1;
    curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
    switch (step.role) {
    case SftpStep::Role::Resolve: {
        const std::optional<RemoteFolder> folder = folderFromSftpPwd(m_pwdReply);
        if (!folder)
            return OperationStep::finished(finish(
                false,
                QStringLiteral("libcurl did not say the path of the folder %1").arg(step.path)));
        m_folder = *folder;
        m_folderResolved = true;
        m_reports.setReply(0, sftpStatusText(0, m_folder.display()));
        m_reports.state(TransferState::ResponseReceived);
        if (m_order.command.verb == TransferVerb::Pwd)
            return OperationStep::finished(finish(true, {}));
        m_steps = sftpSteps(m_order.command, m_folder, m_data.uploadName());
        m_stepIndex = 0;
        break;
    }
    case SftpStep::Role::Main:
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           sftpActionLine(step.action, sftpStatusText(0, QString())));
        m_reports.setReply(0, sftpStatusText(0, step.subject));
        m_reports.state(TransferState::ResponseReceived);
        m_size = size;
        if (m_order.command.verb == TransferVerb::Size && size < 0) {
            const SftpStep read = proveEmptyStep(step);
            m_steps.push_back(read);
        }
        ++m_stepIndex;
        break;
    case SftpStep::Role::CheckSize:
        m_serverSize = size;
        ++m_stepIndex;
        break;
    case SftpStep::Role::ProveEmpty:
        break; // ended above
    }
    if (m_at.firstByte >= 0 && m_at.dataEnd < 0)
        m_at.dataEnd = now();
    if (m_stepIndex >= m_steps.size())
        return OperationStep::finished(finish(true, {}));
    try {
        setUp(m_steps.at(m_stepIndex));
    } catch (const std::exception &error) {
        return OperationStep::finished(finish(false, QString::fromUtf8(error.what())));
    }
    beginCommand();
    return continued();
}

// A key login refused: the next key, on a connection of its own.
OperationStep SftpOperation::nextLogin()
{
    const QString refused = m_ssh.method();
    m_ssh.setLogin(m_logins.at(++m_loginIndex));
    m_reports.protocol(ProtocolEvent::Kind::Info,
                       QStringLiteral("The server refused the login by %1; trying %2")
                           .arg(refused, m_ssh.method()));
    try {
        setUp(m_steps.at(m_stepIndex));
    } catch (const std::exception &error) {
        return OperationStep::finished(finish(false, QString::fromUtf8(error.what())));
    }
    return continued();
}

OperationOutcome SftpOperation::failed(CURLcode result)
{
    const LocalFiles &files = m_data.files();
    if (!files.failure().isEmpty())
        return finish(false, files.failure());
    m_ssh.afterAction(m_easy); // a connection made in libcurl's last call still counts
    if (!sshHandshakeReachable())
        return finish(false, sshHandshakeMissingText(m_order.server()));
    const QString detail = errorDetail();
    const SftpStep &step = m_steps.at(m_stepIndex);
    // A refusal of the file operation itself carries an SFTP status; one of
    // the connection or the login does not.
    if (m_ssh.phase() >= Phase::LoggedIn && result != CURLE_LOGIN_DENIED) {
        if (const std::optional<int> status = sftpStatus(result, detail)) {
            const QString text = sftpStatusText(*status, step.subject);
            m_reports.protocol(ProtocolEvent::Kind::Info,
                               sftpActionLine(step.action, sftpStatusText(*status, QString())));
            m_reports.setReply(*status, text);
            m_reports.state(TransferState::ResponseReceived);
            return finish(false, text, *status);
        }
    }
    if (const std::optional<QString> proxy = proxyFailure(result))
        return finish(false, *proxy);
    SshFailureFacts facts;
    facts.result = result;
    facts.server = m_order.server();
    facts.detail = detail;
    facts.timeoutSeconds = m_order.timeoutSeconds;
    long osErrno = 0;
    facts.refused = curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osErrno) == CURLE_OK &&
                    osErrno == ECONNREFUSED;
    facts.phase = m_ssh.phase();
    facts.login = m_ssh.method();
    facts.upload = files.uploading();
    curl_off_t moved = 0;
    curl_easy_getinfo(m_easy, facts.upload ? CURLINFO_SIZE_UPLOAD_T : CURLINFO_SIZE_DOWNLOAD_T,
                      &moved);
    facts.received = moved;
    facts.expected = facts.upload ? files.uploadSize() : -1;
    if (const std::optional<SshNegotiation> failed = takeSshNegotiation())
        facts.nothingInCommon = sshNothingInCommon(failed->server, failed->ours, failed->library);
    return finish(false, sshFailureText(facts));
}

OperationOutcome SftpOperation::stop()
{
    sayStopped();
    return finish(false, QLatin1String(StoppedText));
}

OperationOutcome SftpOperation::finish(bool ok, const QString &failure, qint32 code)
{
    LocalFiles &files = m_data.files();
    OperationOutcome outcome;
    outcome.failure = failure;
    outcome.code = code;
    outcome.freshLogin = m_ssh.fresh();
    // A refused file operation leaves the login standing.
    if (m_ssh.phase() >= Phase::LoggedIn && (ok || code > 0))
        outcome.protection = m_ssh.protection();
    if (ok)
        m_data.endListing();
    const TransferVerb verb = m_order.command.verb;
    const QString uploadPath =
        files.uploading() ? localPath(m_order.command.args.at(0)) : QString();
    ok = concludeData(outcome, ok, files, m_serverSize, uploadPath, verb,
                      verb == TransferVerb::Size ? QByteArray::number(m_size)
                                                 : m_folder.display().toUtf8());
    // A folder taken against the login folder is now known from the root.
    if (m_folderResolved && !m_order.folder.absolute)
        outcome.folder = m_folder;
    if (ok && (verb == TransferVerb::Cd || verb == TransferVerb::Cdup))
        outcome.folder = sftpNewFolder(m_order.command, m_folder);
    outcome.ok = ok;
    outcome.times = times();
    return outcome;
}

PhaseTimes SftpOperation::times() const
{
    PhaseTimes times;
    m_ssh.addTimes(times);
    times.firstByte = span(m_at.requestSent, m_at.firstByte);
    times.transfer = span(m_at.firstByte, m_at.dataEnd);
    times.total = now();
    if (m_data.files().uploading())
        times.bytes = m_data.files().uploadLeft();
    else if (m_data.files().downloading())
        times.bytes = m_data.downloaded();
    return times;
}

// --- libcurl's callbacks. They run inside libcurl calls on the engine's
// thread, so they only record and queue.

void SftpOperation::dataMoving()
{
    if (m_ssh.phase() >= Phase::Transferring)
        return;
    m_ssh.reach(Phase::Transferring);
    m_at.firstByte = now();
    m_reports.state(TransferState::ReceivingResponse);
}

// libcurl's "pwd" answers here, as an FTP server's 257 would.
bool SftpOperation::replyHeader(QByteArrayView line)
{
    m_pwdReply = QString::fromUtf8(line).trimmed();
    return true;
}

void SftpOperation::debugOutput(curl_infotype type, QByteArrayView data)
{
    m_ssh.debugOutput(m_easy, type, data);
}
