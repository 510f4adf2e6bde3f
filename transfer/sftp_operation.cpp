#include "sftp_operation.h"

#include "local_path.h"
#include "report_queue.h"
#include "sftp_paths.h"
#include "sftp_status.h"
#include "ssh_remarks.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

qint64 span(qint64 from, qint64 to)
{
    return from >= 0 && to >= from ? to - from : -1;
}

QByteArray knownHostsText()
{
    QFile file(QDir::homePath() + QStringLiteral("/.ssh/known_hosts"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

SftpOperation::SftpOperation(OperationOrder order, const OperationContext &context)
    : m_order(std::move(order)), m_hostKeyPin(context.trust.hostKey),
      m_login(sshLoginFor(m_order.password, QDir::homePath())), m_reports(context.reports),
      m_watch(context.watch), m_easy(context.easy), m_folder(m_order.folder)
{
    m_clock.start();
    const FtpVerb verb = m_order.command.verb;
    const QStringList &args = m_order.command.args;
    m_folderResolved = m_folder.absolute && verb != FtpVerb::Pwd;
    QString uploadName;
    try {
        if (verb == FtpVerb::Get)
            m_files.open(LocalFiles::Use::Download, args.size() > 1 ? localPath(args.at(1)) : "");
        if (verb == FtpVerb::Dir || verb == FtpVerb::Ls) {
            m_files.open(LocalFiles::Use::Download, QString());
            m_listing.emplace(verb == FtpVerb::Dir);
        }
        if (verb == FtpVerb::Put) {
            const QString local = localPath(args.at(0));
            m_files.open(LocalFiles::Use::Upload, local);
            uploadName = args.size() > 1 ? args.at(1) : QFileInfo(local).fileName();
        }
        m_steps = m_folderResolved ? sftpSteps(m_order.command, m_folder, uploadName)
                                   : std::vector<SftpStep>{resolveStep(m_folder)};
        m_uploadName = uploadName;
        setUp(m_steps.front());
    } catch (...) {
        curl_easy_reset(m_easy);
        throw;
    }
    m_watch.setListener(this);
    m_sinceProgress.start();
    m_reports.protocol(ProtocolEvent::Kind::Info, startLine(m_order.command));
}

SftpOperation::~SftpOperation()
{
    m_watch.setListener(nullptr);
    curl_easy_reset(m_easy);
}

void SftpOperation::setUp(const SftpStep &step)
{
    prepareSftpRequest(m_easy, m_order, m_login, step.kind,
                       sftpUrl(m_order.serverUrl, step.path));
    m_commands.reset();
    for (const QByteArray &command : step.commands)
        appendTo(m_commands, command);
    if (m_commands)
        setOption(m_easy, CURLOPT_QUOTE, m_commands.get());
    m_errorBuffer[0] = 0;
    setOption(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
    setOption(m_easy, CURLOPT_SSH_HOSTKEYFUNCTION, &SftpOperation::onHostKey);
    setOption(m_easy, CURLOPT_SSH_HOSTKEYDATA, this);
    setOption(m_easy, CURLOPT_HEADERFUNCTION, &SftpOperation::onHeader);
    setOption(m_easy, CURLOPT_HEADERDATA, this);
    setOption(m_easy, CURLOPT_VERBOSE, 1L);
    setOption(m_easy, CURLOPT_DEBUGFUNCTION, &SftpOperation::onDebug);
    setOption(m_easy, CURLOPT_DEBUGDATA, this);
    setOption(m_easy, CURLOPT_NOPROGRESS, 0L);
    setOption(m_easy, CURLOPT_XFERINFOFUNCTION, &SftpOperation::onProgress);
    setOption(m_easy, CURLOPT_XFERINFODATA, this);
    setOption(m_easy, CURLOPT_WRITEFUNCTION, &SftpOperation::onWrite);
    setOption(m_easy, CURLOPT_WRITEDATA, this);
    if (step.kind == SftpRequestKind::Upload) {
        setOption(m_easy, CURLOPT_READFUNCTION, &SftpOperation::onRead);
        setOption(m_easy, CURLOPT_READDATA, this);
        setOption(m_easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_files.uploadSize()));
    }
    m_watch.install(m_easy);
    m_started = false;
    m_pwdReply.clear();
}

// The request goes out once the login stands: at once on a pooled login.
void SftpOperation::beginCommand()
{
    if (m_started || m_steps.at(m_stepIndex).role == SftpStep::Role::CheckSize)
        return;
    m_started = true;
    if (m_phase < Phase::LoggedIn)
        m_phase = Phase::LoggedIn;
    m_at.requestSent = now();
    m_reports.state(TransferState::Requesting);
    m_reports.state(TransferState::RequestSent);
}

void SftpOperation::afterAction()
{
    curl_off_t connectTime = 0;
    if (m_phase == Phase::Connecting && m_fresh &&
        curl_easy_getinfo(m_easy, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK &&
        connectTime > 0) {
        m_phase = Phase::Connected;
        m_at.connected = now();
        m_reports.protocol(ProtocolEvent::Kind::Info, QStringLiteral("Connected"));
    }
}

ConnectionListener::Socket SftpOperation::socketOpening(const QString &address)
{
    if (!m_fresh) {
        m_fresh = true;
        m_phase = Phase::Connecting;
        m_at.resolved = now();
        m_reports.state(TransferState::ResolvingHost);
        m_reports.state(TransferState::HostResolved);
        m_reports.state(TransferState::Connecting);
    }
    m_reports.protocol(ProtocolEvent::Kind::Info, connectingLine(address));
    return Socket::Control;
}

OperationStep SftpOperation::done(CURLcode result)
{
    if (m_refusedKey)
        return hostKeyStep();
    beginCommand();
    if (result != CURLE_OK || !m_files.failure().isEmpty())
        return OperationStep::finished(failed(result));
    const SftpStep &step = m_steps.at(m_stepIndex);
    curl_off_t size = -1;
    curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
    switch (step.role) {
    case SftpStep::Role::Resolve: {
        const std::optional<RemoteFolder> folder = folderFromSftpPwd(m_pwdReply);
        if (!folder)
            return OperationStep::finished(
                finish(false, QStringLiteral("libcurl did not say the path of the folder %1")
                                  .arg(step.path)));
        m_folder = *folder;
        m_folderResolved = true;
        m_reports.setReply(0, sftpStatusText(0, m_folder.display()));
        m_reports.state(TransferState::ResponseReceived);
        if (m_order.command.verb == FtpVerb::Pwd)
            return OperationStep::finished(finish(true, {}));
        m_steps = sftpSteps(m_order.command, m_folder, m_uploadName);
        m_stepIndex = 0;
        break;
    }
    case SftpStep::Role::Main:
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           sftpActionLine(step.action, sftpStatusText(0, QString())));
        m_reports.setReply(0, sftpStatusText(0, step.subject));
        m_reports.state(TransferState::ResponseReceived);
        m_size = size;
        ++m_stepIndex;
        break;
    case SftpStep::Role::CheckSize:
        m_serverSize = size;
        ++m_stepIndex;
        break;
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
    OperationStep next;
    next.kind = OperationStep::Kind::Continue;
    return next;
}

// The callback refused a key it could not accept on its own: ask about an
// unknown one, refuse a changed one. Either way nothing of the account went out.
OperationStep SftpOperation::hostKeyStep()
{
    const HostKeyVerdict key = *m_refusedKey;
    if (key.action == HostKeyVerdict::Action::Refuse)
        return OperationStep::finished(finish(
            false, hostKeyChangedText(m_order.server(), key.keyType, key.fingerprint,
                                      knownHostName(m_order.host, m_order.port), key.knownHosts)));
    OperationStep step;
    step.kind = OperationStep::Kind::Ask;
    step.pin = key.fingerprint.mid(int(qstrlen("SHA256:"))).toLatin1();
    step.question.kind = TrustQuestion::Kind::HostKey;
    step.question.keyType = key.keyType;
    step.question.fingerprint = key.fingerprint;
    return step;
}

OperationOutcome SftpOperation::failed(CURLcode result)
{
    if (!m_files.failure().isEmpty())
        return finish(false, m_files.failure());
    const QString detail = QString::fromUtf8(m_errorBuffer);
    const SftpStep &step = m_steps.at(m_stepIndex);
    // A refusal of the file operation itself carries an SFTP status; one of
    // the connection or the login does not.
    if (m_phase >= Phase::LoggedIn && result != CURLE_LOGIN_DENIED) {
        if (const std::optional<int> status = sftpStatus(result, detail)) {
            const QString text = sftpStatusText(*status, step.subject);
            m_reports.protocol(ProtocolEvent::Kind::Info,
                               sftpActionLine(step.action, sftpStatusText(*status, QString())));
            m_reports.setReply(*status, text);
            m_reports.state(TransferState::ResponseReceived);
            return finish(false, text, *status);
        }
    }
    SshFailureFacts facts;
    facts.result = result;
    facts.server = m_order.server();
    facts.detail = detail;
    facts.timeoutSeconds = m_order.timeoutSeconds;
    facts.phase = m_phase;
    facts.login = m_method.isEmpty() ? m_login.method : m_method;
    facts.upload = m_files.uploading();
    curl_off_t moved = 0;
    curl_easy_getinfo(m_easy, facts.upload ? CURLINFO_SIZE_UPLOAD_T : CURLINFO_SIZE_DOWNLOAD_T,
                      &moved);
    facts.received = moved;
    facts.expected = facts.upload ? m_files.uploadSize() : -1;
    return finish(false, sshFailureText(facts));
}

OperationOutcome SftpOperation::stop()
{
    m_reports.protocol(ProtocolEvent::Kind::Info, QLatin1String(StoppedText));
    return finish(false, QLatin1String(StoppedText));
}

OperationOutcome SftpOperation::finish(bool ok, const QString &failure, qint32 code)
{
    OperationOutcome outcome;
    outcome.failure = failure;
    outcome.code = code;
    outcome.freshLogin = m_fresh;
    // A refused file operation leaves the login standing.
    if (m_phase >= Phase::LoggedIn && (ok || code > 0))
        outcome.protection = QStringLiteral("SSH");
    if (ok && m_serverSize >= 0 && m_serverSize != m_files.uploadSize()) {
        ok = false;
        outcome.failure = incompleteUploadText(m_serverSize, m_files.uploadSize(),
                                               localPath(m_order.command.args.at(0)));
    }
    if (ok && m_listing) {
        const QByteArray rest = m_listing->finish();
        m_files.write(rest.constData(), rest.size());
    }
    if (ok) {
        outcome.retrieved = m_files.commit();
        if (!m_files.failure().isEmpty()) {
            ok = false;
            outcome.failure = m_files.failure();
        }
    } else {
        m_files.discard();
    }
    const FtpVerb verb = m_order.command.verb;
    if (ok && (verb == FtpVerb::Size || verb == FtpVerb::Pwd)) {
        auto buffer = std::make_shared<QBuffer>();
        buffer->setData(verb == FtpVerb::Size ? QByteArray::number(m_size)
                                              : m_folder.display().toUtf8());
        buffer->open(QIODevice::ReadOnly);
        outcome.retrieved = std::move(buffer);
    }
    // A folder taken against the login folder is now known from the root.
    if (m_folderResolved && !m_order.folder.absolute)
        outcome.folder = m_folder;
    if (ok && (verb == FtpVerb::Cd || verb == FtpVerb::Cdup))
        outcome.folder = sftpNewFolder(m_order.command, m_folder);
    outcome.ok = ok;
    outcome.times = times();
    return outcome;
}

PhaseTimes SftpOperation::times() const
{
    PhaseTimes times;
    if (m_fresh) {
        times.resolve = m_at.resolved;
        times.connect = span(m_at.resolved, m_at.connected);
        times.keyExchange = span(m_at.connected, m_at.keyDone);
        times.login = span(m_at.loginStart, m_at.loginDone);
    }
    times.firstByte = span(m_at.requestSent, m_at.firstByte);
    times.transfer = span(m_at.firstByte, m_at.dataEnd);
    times.total = now();
    if (m_files.uploading())
        times.bytes = m_files.uploadSize();
    else if (m_files.downloading())
        times.bytes = m_downloaded;
    return times;
}

// --- libcurl's callbacks. They run inside libcurl calls on the engine's
// thread: they record and queue, and never wait for the operator.

int SftpOperation::onHostKey(void *userp, int keyType, const char *key, size_t length)
{
    auto *self = static_cast<SftpOperation *>(userp);
    const HostKeyVerdict verdict =
        hostKeyVerdict(self->m_hostKeyPin, knownHostsText(), self->m_order.host,
                       self->m_order.port, keyType, QByteArray(key, qsizetype(length)));
    self->m_phase = Phase::KeyExchanged;
    self->m_at.keyDone = self->now();
    self->m_reports.state(TransferState::Connected);
    const HostKeyStanding standing = verdict.pinned       ? HostKeyStanding::TrustedThisSession
                                     : verdict.knownHosts ? HostKeyStanding::KnownHosts
                                                          : HostKeyStanding::NotKnown;
    self->m_reports.protocol(ProtocolEvent::Kind::Info,
                             sshHostKeyLine(verdict.keyType, verdict.fingerprint, standing));
    if (verdict.action == HostKeyVerdict::Action::Accept)
        return CURLKHMATCH_OK;
    // libcurl ends the attempt here, before any login.
    self->m_refusedKey = verdict;
    return CURLKHMATCH_MISMATCH;
}

void SftpOperation::remark(QByteArrayView text)
{
    const SshRemark said = sshRemark(text);
    switch (said.kind) {
    case SshRemark::Kind::None:
        break;
    case SshRemark::Kind::MethodsOffered:
        // Read by libcurl only after this remark, when it picks the method.
        curl_easy_setopt(m_easy, CURLOPT_SSH_AUTH_TYPES,
                         oneAttempt(m_login.authTypes, said.text));
        m_reports.protocol(ProtocolEvent::Kind::Info, sshMethodsLine(said.text));
        m_phase = Phase::LoggingIn;
        m_at.loginStart = now();
        m_reports.state(TransferState::Requesting);
        m_reports.state(TransferState::RequestSent);
        break;
    case SshRemark::Kind::Trying:
        m_method = said.text == QLatin1String("key")
                       ? QStringLiteral("the key ") + QFileInfo(m_login.keyFile).fileName()
                       : said.text;
        break;
    case SshRemark::Kind::LoggedIn: {
        m_at.loginDone = now();
        const QString line = sshLoginLine(m_order.user, m_method);
        m_reports.protocol(ProtocolEvent::Kind::Info, line);
        m_reports.setReply(0, line);
        m_reports.state(TransferState::ResponseReceived);
        beginCommand();
        break;
    }
    case SshRemark::Kind::Reused:
        beginCommand();
        break;
    }
}

void SftpOperation::dataMoving()
{
    if (m_phase >= Phase::Transferring)
        return;
    m_phase = Phase::Transferring;
    m_at.firstByte = now();
    m_reports.state(TransferState::ReceivingResponse);
}

size_t SftpOperation::onWrite(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<SftpOperation *>(userp);
    const size_t length = size * count;
    // CD's listing only proves the folder.
    if (!self->m_files.downloading())
        return length;
    self->dataMoving();
    self->m_downloaded += qint64(length);
    if (self->m_listing) {
        const QByteArray kept = self->m_listing->add(QByteArrayView(data, qsizetype(length)));
        return self->m_files.write(kept.constData(), kept.size()) ? length : 0;
    }
    return self->m_files.write(data, qint64(length)) ? length : 0;
}

size_t SftpOperation::onRead(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<SftpOperation *>(userp);
    self->dataMoving();
    const qint64 read = self->m_files.read(data, qint64(size * count));
    return read < 0 ? CURL_READFUNC_ABORT : size_t(read);
}

// libcurl's "pwd" answers here, as an FTP server's 257 would.
size_t SftpOperation::onHeader(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<SftpOperation *>(userp);
    self->m_pwdReply = QString::fromUtf8(data, qsizetype(size * count)).trimmed();
    return size * count;
}

int SftpOperation::onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    auto *self = static_cast<SftpOperation *>(userp);
    const QByteArrayView text(data, qsizetype(size));
    if (type == CURLINFO_TEXT)
        self->remark(text);
    if (const std::optional<OperatorLine> line = operatorLine(type, text))
        self->m_reports.protocol(line->kind, line->text);
    return 0;
}

int SftpOperation::onProgress(void *userp, curl_off_t, curl_off_t dlNow, curl_off_t,
                              curl_off_t ulNow)
{
    auto *self = static_cast<SftpOperation *>(userp);
    if (self->m_sinceProgress.elapsed() < 250)
        return 0;
    self->m_sinceProgress.restart();
    const bool upload = self->m_files.uploading();
    const qint64 done = upload ? ulNow : dlNow;
    if (done > 0)
        self->m_reports.progress(done, upload ? self->m_files.uploadSize() : -1);
    return 0;
}
