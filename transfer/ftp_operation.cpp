#include "ftp_operation.h"

#include "failure_text.h"
#include "report_queue.h"
#include "tls_decision.h"

#include <QBuffer>

namespace {

QByteArray withoutLineEnd(const char *data, size_t size)
{
    QByteArray line(data, qsizetype(size));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The commands that open a data connection.
bool startsTransfer(const QString &command)
{
    static const char *const verbs[] = {"RETR ", "STOR ", "APPE ", "LIST", "NLST", "MLSD"};
    for (const char *verb : verbs)
        if (command.startsWith(QLatin1String(verb)))
            return true;
    return false;
}

qint64 span(qint64 from, qint64 to)
{
    return from >= 0 && to >= from ? to - from : -1;
}

} // namespace

FtpOperation::FtpOperation(OperationOrder order, const OperationContext &context)
    : m_order(std::move(order)), m_check(context.check), m_checkFailure(context.reason),
      m_trust(context.trust), m_announceUtf8(context.announceUtf8),
      m_closing(m_order.command.verb == FtpVerb::Close), m_reports(context.reports),
      m_watch(context.watch), m_controlTls(context.loginEncrypted)
{
    CURL *easy = context.easy;
    m_clock.start();
    try {
        m_request = prepareRequest(
            easy, m_order,
            tlsSettingsFor(m_order.clearTextNeedsConsent, m_trust, m_check, context.share),
            m_announceUtf8);
        static const std::map<PreparedRequest::Data, LocalFiles::Use> uses{
            {PreparedRequest::Data::None, LocalFiles::Use::None},
            {PreparedRequest::Data::Download, LocalFiles::Use::Download},
            {PreparedRequest::Data::Upload, LocalFiles::Use::Upload},
        };
        m_files.open(uses.at(m_request.data), m_request.localName);
        setOption(easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
        setOption(easy, CURLOPT_HEADERFUNCTION, &FtpOperation::onHeader);
        setOption(easy, CURLOPT_HEADERDATA, this);
        setOption(easy, CURLOPT_VERBOSE, 1L);
        setOption(easy, CURLOPT_DEBUGFUNCTION, &FtpOperation::onDebug);
        setOption(easy, CURLOPT_DEBUGDATA, this);
        setOption(easy, CURLOPT_NOPROGRESS, 0L);
        setOption(easy, CURLOPT_XFERINFOFUNCTION, &FtpOperation::onProgress);
        setOption(easy, CURLOPT_XFERINFODATA, this);
        setOption(easy, CURLOPT_WRITEFUNCTION, &FtpOperation::onWrite);
        setOption(easy, CURLOPT_WRITEDATA, this);
        if (m_files.uploading()) {
            setOption(easy, CURLOPT_READFUNCTION, &FtpOperation::onRead);
            setOption(easy, CURLOPT_READDATA, this);
            setOption(easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_files.uploadSize()));
        }
        m_watch.install(easy);
    } catch (...) {
        // Nothing of this object may stay set in the handle.
        curl_easy_reset(easy);
        throw;
    }
    m_watch.setListener(this);
    m_sinceProgress.start();
    m_reports.protocol(ProtocolEvent::Kind::Info, startLine(m_order.command));
    if (m_check == TlsSettings::Check::Probe)
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           QStringLiteral("Fetching the certificate to show it"));
    if (m_closing)
        m_reports.state(TransferState::Disconnecting);
}

FtpOperation::~FtpOperation()
{
    m_watch.setListener(nullptr);
    curl_easy_reset(m_request.easy);
}

QString FtpOperation::detail() const
{
    return QString::fromUtf8(m_errorBuffer);
}

void FtpOperation::afterAction()
{
    curl_off_t connectTime = 0;
    if (m_phase == Phase::Connecting &&
        curl_easy_getinfo(m_request.easy, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK &&
        connectTime > 0)
        noteConnected();
}

OperationStep FtpOperation::done(CURLcode result)
{
    if (!failedLocally()) {
        TlsAttempt attempt;
        attempt.easy = m_request.easy;
        attempt.result = result;
        attempt.check = m_check;
        attempt.clearTextNeedsConsent = m_order.clearTextNeedsConsent;
        attempt.detail = detail();
        attempt.checkFailure = m_checkFailure;
        attempt.trust = m_trust;
        attempt.server = m_order.server();
        if (std::optional<OperationStep> step = tlsDecision(attempt))
            return *step;
    }
    return OperationStep::finished(conclude(result));
}

OperationOutcome FtpOperation::conclude(CURLcode result)
{
    if (m_closing)
        return finish(true, {}); // the login goes, whatever QUIT met
    QString failure = !m_files.failure().isEmpty() ? m_files.failure() : m_replyError;
    // A refusal the server put in words stays as the server said it; a
    // refused login is named as such.
    const bool serverRefused = m_replied && m_reports.replyCode() >= 400;
    if (failure.isEmpty() && result != CURLE_OK && (!serverRefused || result == CURLE_LOGIN_DENIED))
        failure = describeFailure(result);
    return finish(result == CURLE_OK && failure.isEmpty(), failure);
}

OperationOutcome FtpOperation::stop()
{
    m_reports.protocol(ProtocolEvent::Kind::Info, QLatin1String(StoppedText));
    return finish(false, QLatin1String(StoppedText));
}

OperationOutcome FtpOperation::finish(bool ok, const QString &failure)
{
    OperationOutcome outcome;
    outcome.failure = failure;
    outcome.freshLogin = m_freshLogin;
    outcome.announcedUtf8 = ok && m_announceUtf8;
    outcome.protection =
        ok ? (m_protection.isEmpty() ? QStringLiteral("not encrypted") : m_protection) : QString();
    if (ok && m_serverSize >= 0 && m_serverSize != m_files.uploadSize()) {
        ok = false;
        outcome.failure =
            incompleteUploadText(m_serverSize, m_files.uploadSize(), m_request.localName);
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
        QByteArray text = m_pwdFolder.toUtf8();
        if (verb == FtpVerb::Size) {
            curl_off_t size = -1;
            curl_easy_getinfo(m_request.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
            text = QByteArray::number(qint64(size));
        }
        auto buffer = std::make_shared<QBuffer>();
        buffer->setData(text);
        buffer->open(QIODevice::ReadOnly);
        outcome.retrieved = std::move(buffer);
    }
    if (ok)
        outcome.folder = m_request.newFolder;
    outcome.ok = ok;
    if (!ok && m_replied && m_reports.replyCode() >= 400)
        outcome.code = m_reports.replyCode();
    if (m_at.firstByte >= 0 && m_at.dataEnd < 0)
        m_at.dataEnd = now();
    outcome.times = times();
    return outcome;
}

QString FtpOperation::describeFailure(CURLcode result) const
{
    FailureFacts facts;
    facts.result = result;
    facts.server = m_order.server();
    facts.detail = m_errorBuffer[0] ? detail() : QString::fromUtf8(curl_easy_strerror(result));
    facts.timeoutSeconds = m_order.timeoutSeconds;
    facts.connected = !m_freshLogin || m_phase >= Phase::Connected;
    facts.greeted = !m_freshLogin || m_phase >= Phase::Greeted;
    facts.lastCode = m_replied ? m_reports.replyCode() : 0;
    facts.lastReply = m_reports.replyText();
    facts.lastCommand = m_lastCommand;
    facts.dataAddress = m_dataAddress;
    facts.dataFlowing = m_phase >= Phase::Transferring;
    curl_off_t received = 0;
    curl_off_t expected = -1;
    curl_easy_getinfo(m_request.easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
    curl_easy_getinfo(m_request.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    facts.received = received;
    facts.expected = expected;
    return failureText(facts);
}

PhaseTimes FtpOperation::times() const
{
    PhaseTimes times;
    if (m_freshLogin) {
        times.resolve = m_at.resolved;
        times.connect = span(m_at.resolved, m_at.connected);
        times.greeting = span(m_at.connected, m_at.greeted);
    }
    times.tls = span(m_at.tlsStart, m_at.tlsDone);
    times.login = span(m_at.loginStart, m_at.loginDone);
    times.firstByte = span(m_at.requestSent, m_at.firstByte);
    times.transfer = span(m_at.firstByte, m_at.dataEnd);
    times.total = now();
    curl_off_t bytes = 0;
    switch (m_order.command.verb) {
    case FtpVerb::Get:
    case FtpVerb::Dir:
    case FtpVerb::Ls:
        curl_easy_getinfo(m_request.easy, CURLINFO_SIZE_DOWNLOAD_T, &bytes);
        times.bytes = bytes;
        break;
    case FtpVerb::Put:
        curl_easy_getinfo(m_request.easy, CURLINFO_SIZE_UPLOAD_T, &bytes);
        times.bytes = bytes;
        break;
    default:
        break;
    }
    return times;
}

// --- Where the operation stands, from what libcurl and its connections say.

void FtpOperation::noteConnected()
{
    if (m_phase != Phase::Connecting)
        return;
    m_phase = Phase::Connected;
    m_at.connected = now();
    m_reports.protocol(ProtocolEvent::Kind::Info, QStringLiteral("Connected"));
}

ConnectionListener::Socket FtpOperation::socketOpening(const QString &address)
{
    if (m_phase == Phase::Waiting) {
        // CLOSE says QUIT on the pooled login; it never makes a new one.
        if (m_closing)
            return Socket::Refused;
        m_freshLogin = true;
        m_phase = Phase::Connecting;
        m_at.resolved = now();
        m_reports.state(TransferState::ResolvingHost);
        m_reports.state(TransferState::HostResolved);
        m_reports.state(TransferState::Connecting);
    }
    if (m_phase == Phase::Connecting) {
        m_reports.protocol(ProtocolEvent::Kind::Info, connectingLine(address));
        return Socket::Control;
    }
    noteConnected();
    m_dataAddress = address;
    // Over TLS the line waits for the handshake, which tells whether the
    // login's session was resumed.
    if (!m_controlTls)
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           dataConnectionLine(address, DataProtection::Clear));
    return Socket::Data;
}

void FtpOperation::tlsStarted()
{
    if (m_phase < Phase::LoggingIn && m_at.tlsStart < 0)
        m_at.tlsStart = now();
}

void FtpOperation::tlsEstablished(const TlsHandshake &handshake)
{
    if (m_phase >= Phase::LoggingIn || m_at.tlsDone >= 0) {
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           dataConnectionLine(m_dataAddress, handshake.resumed
                                                                 ? DataProtection::Resumed
                                                                 : DataProtection::NotResumed));
        return;
    }
    m_at.tlsDone = now();
    m_controlTls = true;
    m_protection = handshake.protection;
    // The probe's handshake only fetches the certificate for the question.
    if (m_check == TlsSettings::Check::Probe)
        return;
    m_reports.protocol(ProtocolEvent::Kind::Info, tlsLine(handshake.protection, handshake.cipher));
    const CertificateFacts facts = certificateFactsFromDer(handshake.certificate);
    if (facts.valid)
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           certificateLine(facts.subject, facts.issuer, facts.fingerprint));
}

void FtpOperation::commandSent(const QByteArray &line)
{
    m_lastCommand = QString::fromUtf8(line);
    if (m_phase == Phase::Waiting)
        m_phase = Phase::Commanding; // on the pooled login
    if (m_closing)
        return;
    // The upload's own check, not the operator's command: it is no state.
    if (m_order.command.verb == FtpVerb::Put && m_lastCommand.startsWith(QLatin1String("SIZE "))) {
        if (m_at.firstByte >= 0)
            m_at.dataEnd = now();
        m_phase = Phase::CheckingSize;
        return;
    }
    if (m_lastCommand.startsWith(QLatin1String("USER "))) {
        m_phase = Phase::LoggingIn;
        m_at.loginStart = now();
    }
    if (startsTransfer(m_lastCommand))
        m_at.requestSent = now();
    m_reports.state(TransferState::Requesting);
    m_reports.state(TransferState::RequestSent);
}

void FtpOperation::replyLine(const QString &line)
{
    noteConnected();
    // With CURLOPT_NOBODY libcurl also passes made-up HTTP-style lines
    // ("Content-Length: ..."); the assembler starts replies at coded lines only.
    const std::optional<FtpReply> reply = m_assembler.addLine(line);
    if (!reply)
        return;
    if (m_phase == Phase::CheckingSize) {
        if (reply->code == 213)
            m_serverSize = reply->text.mid(4).trimmed().toLongLong();
        return;
    }
    m_replied = true;
    if (m_phase < Phase::Greeted) {
        m_phase = Phase::Greeted;
        m_at.greeted = now();
        m_reports.state(TransferState::Connected);
    }
    if (m_phase == Phase::LoggingIn && reply->code / 100 == 2) {
        m_phase = Phase::Commanding;
        m_at.loginDone = now();
    }
    m_reports.setReply(reply->code, reply->text);
    if (reply->code == 257 && m_order.command.verb == FtpVerb::Pwd)
        m_pwdFolder = folderFromPwdReply(reply->text);
    if (!m_closing)
        m_reports.state(TransferState::ResponseReceived);
}

// State 7 goes out once, when the first data moves, not for every block.
void FtpOperation::dataMoving()
{
    if (m_phase >= Phase::Transferring)
        return;
    m_phase = Phase::Transferring;
    m_at.firstByte = now();
    m_reports.state(TransferState::ReceivingResponse);
}

// --- libcurl's callbacks. They run inside libcurl calls on the engine's
// thread, so they only record and queue: calling libcurl from here would
// fail (CURLM_RECURSIVE_API_CALL), and reports wait for the flush that
// follows every call into libcurl.

size_t FtpOperation::onWrite(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<FtpOperation *>(userp);
    const size_t length = size * count;
    // SIZE's answer arrives here as a made-up header too; it is no data.
    if (!self->m_files.downloading())
        return length;
    self->dataMoving();
    // libcurl ends the transfer on a short count; the file's error names the cause.
    return self->m_files.write(data, qint64(length)) ? length : 0;
}

size_t FtpOperation::onRead(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<FtpOperation *>(userp);
    self->dataMoving();
    const qint64 read = self->m_files.read(data, qint64(size * count));
    return read < 0 ? CURL_READFUNC_ABORT : size_t(read);
}

size_t FtpOperation::onHeader(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<FtpOperation *>(userp);
    self->replyLine(QString::fromUtf8(withoutLineEnd(data, size * count)));
    if (const std::optional<QString> error = self->m_assembler.error()) {
        // A short count makes libcurl end the operation.
        self->m_replyError = malformedReplyText(self->m_order.server(), *error);
        return 0;
    }
    return size * count;
}

int FtpOperation::onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    auto *self = static_cast<FtpOperation *>(userp);
    const std::optional<OperatorLine> line =
        operatorLine(type, QByteArrayView(data, qsizetype(size)));
    if (!line)
        return 0;
    // A reply proves the connection, which the log says first.
    if (type == CURLINFO_HEADER_IN)
        self->noteConnected();
    self->m_reports.protocol(line->kind, line->text);
    if (type == CURLINFO_HEADER_OUT)
        self->commandSent(line->text.toUtf8());
    return 0;
}

int FtpOperation::onProgress(void *userp, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                             curl_off_t ulNow)
{
    auto *self = static_cast<FtpOperation *>(userp);
    if (self->m_sinceProgress.elapsed() < 250)
        return 0;
    self->m_sinceProgress.restart();
    const bool upload = self->m_files.uploading();
    const qint64 done = upload ? ulNow : dlNow;
    const qint64 total = upload ? ulTotal : dlTotal;
    if (done > 0)
        self->m_reports.progress(done, total > 0 ? total : -1);
    return 0;
}
