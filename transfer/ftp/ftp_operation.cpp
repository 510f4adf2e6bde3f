#include "ftp/ftp_operation.h"

#include "engine/report_queue.h"
#include "text/failure_text.h"

#include <cerrno>

namespace {

FtpConversation::Role roleOf(TransferVerb verb, TlsSettings::Check check)
{
    if (verb == TransferVerb::Close)
        return FtpConversation::Role::Close;
    return check == TlsSettings::Check::Probe ? FtpConversation::Role::Probe
                                              : FtpConversation::Role::Command;
}

} // namespace

FtpOperation::FtpOperation(OperationOrder order, const OperationContext &context)
    : CurlOperation(std::move(order), context), m_tlsCheck(context.check),
      m_checkFailure(context.reason), m_trust(context.trust), m_announceUtf8(context.announceUtf8),
      m_talk(m_order.command.verb, roleOf(m_order.command.verb, m_tlsCheck), context.loginEncrypted,
             m_order.implicitTls, m_reports)
{
    m_talk.setRoute(m_order.host, m_order.server(), m_order.proxy);
    m_request = prepareRequest(
        m_easy, m_order,
        tlsSettingsFor(m_order.clearTextNeedsConsent, m_trust, m_tlsCheck, context.share),
        m_announceUtf8, !context.loginFeatures,
        context.idleMs >= qint64(m_order.timeoutSeconds) * 500);
    if (context.loginFeatures)
        m_talk.knowFeatures(*context.loginFeatures);
    static const std::map<PreparedRequest::Data, LocalFiles::Use> uses{
        {PreparedRequest::Data::None, LocalFiles::Use::None},
        {PreparedRequest::Data::Download, LocalFiles::Use::Download},
        {PreparedRequest::Data::Upload, LocalFiles::Use::Upload},
    };
    if (m_order.memoryData)
        m_files.open(uses.at(m_request.data), m_request.localName, m_order.memoryData);
    else
        m_files.open(uses.at(m_request.data), m_request.localName, m_order.resumeFrom,
                     context.sink);
    installCallbacks();
    setOption(m_easy, CURLOPT_NOPROGRESS, 0L);
    setOption(m_easy, CURLOPT_XFERINFOFUNCTION, &FtpOperation::onProgress);
    setOption(m_easy, CURLOPT_XFERINFODATA, this);
    setOption(m_easy, CURLOPT_WRITEFUNCTION, &FtpOperation::onWrite);
    setOption(m_easy, CURLOPT_WRITEDATA, this);
    if (m_files.uploading()) {
        setOption(m_easy, CURLOPT_READFUNCTION, &FtpOperation::onRead);
        setOption(m_easy, CURLOPT_READDATA, this);
        setOption(m_easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_files.uploadLeft()));
    }
    m_sinceProgress.start();
    m_reports.protocol(ProtocolEvent::Kind::Info,
                       m_tlsCheck == TlsSettings::Check::Probe
                           ? QStringLiteral("Fetching the certificate to show it")
                           : startLine(m_order.command));
    if (m_order.command.verb == TransferVerb::Close)
        m_reports.state(TransferState::Disconnecting);
}

void FtpOperation::afterAction()
{
    curl_off_t connectTime = 0;
    if (m_talk.phase() == FtpConversation::Phase::Connecting &&
        curl_easy_getinfo(m_easy, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK &&
        connectTime > 0)
        m_talk.connected();
}

OperationStep FtpOperation::done(CURLcode result)
{
    if (!failedLocally()) {
        if (std::optional<OperationStep> step =
                tlsStep(result, m_tlsCheck, m_checkFailure, m_trust))
            return *step;
    }
    return OperationStep::finished(conclude(result));
}

OperationOutcome FtpOperation::conclude(CURLcode result)
{
    if (m_order.command.verb == TransferVerb::Close)
        return finish(true, {}); // the login goes, whatever QUIT met
    QString failure = !m_files.failure().isEmpty() ? m_files.failure() : m_replyError;
    // The data went out whole and only the server's word on it is missing:
    // the file may well be there, which the operator must be told.
    if (failure.isEmpty() && result == CURLE_OPERATION_TIMEDOUT && m_talk.allSent() &&
        !m_talk.confirmed())
        failure =
            unconfirmedUploadText(m_order.command, m_files.uploadLeft(), m_order.timeoutSeconds);
    // A refusal before the login ends stays as the server said it; a
    // refused login, and a refused PROT P, are named as such.
    const bool serverRefused = m_talk.replied() && m_reports.replyCode() >= 400;
    if (failure.isEmpty() && result != CURLE_OK &&
        (!serverRefused || result == CURLE_LOGIN_DENIED || result == CURLE_USE_SSL_FAILED))
        failure = describeFailure(result);
    // Past the login, a refusal is of the command itself: say which.
    if (failure.isEmpty() && result != CURLE_OK && serverRefused &&
        m_talk.phase() >= FtpConversation::Phase::Commanding)
        failure = refusalText(m_order.command, m_reports.replyCode(), m_reports.replyText());
    return finish(result == CURLE_OK && failure.isEmpty(), failure);
}

OperationOutcome FtpOperation::stop()
{
    sayStopped();
    return finish(false, QLatin1String(StoppedText));
}

OperationOutcome FtpOperation::finish(bool ok, const QString &failure)
{
    OperationOutcome outcome;
    outcome.failure = failure;
    outcome.freshLogin = m_talk.freshLogin();
    outcome.announcedUtf8 = ok && m_announceUtf8;
    // A command refused after the login leaves the login standing.
    const bool loggedIn = ok || (m_talk.phase() >= FtpConversation::Phase::Commanding &&
                                 m_talk.replied() && m_reports.replyCode() >= 400);
    const QString &protection = m_talk.protection();
    outcome.protection = loggedIn
                             ? (protection.isEmpty() ? QStringLiteral("not encrypted") : protection)
                             : QString();
    const TransferVerb verb = m_order.command.verb;
    QByteArray answer = m_talk.pwdFolder().toUtf8();
    if (verb == TransferVerb::Size) {
        curl_off_t size = -1;
        curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
        answer = QByteArray::number(qint64(size));
    }
    ok = concludeData(outcome, ok, m_files, m_talk.serverSize(), m_request.localName, verb, answer);
    if (ok && m_files.uploading() && m_order.checkUpload) {
        outcome.features = m_talk.features();
        if (FileDigest *sent = sentDigest())
            outcome.sentDigest = sent->hex();
    }
    if (ok)
        outcome.folder = m_request.newFolder;
    outcome.ok = ok;
    if (!ok && m_talk.replied() && m_reports.replyCode() >= 400)
        outcome.code = m_reports.replyCode();
    m_talk.ended();
    outcome.times = m_talk.times(bytesMoved());
    return outcome;
}

QString FtpOperation::describeFailure(CURLcode result) const
{
    if (const std::optional<QString> proxy = proxyFailure(result))
        return *proxy;
    FailureFacts facts;
    facts.result = result;
    facts.server = m_order.server();
    facts.detail = errorDetail();
    if (facts.detail.isEmpty())
        facts.detail = QString::fromUtf8(curl_easy_strerror(result));
    facts.timeoutSeconds = m_order.timeoutSeconds;
    long osErrno = 0;
    facts.refused = curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osErrno) == CURLE_OK &&
                    osErrno == ECONNREFUSED;
    m_talk.describe(facts);
    facts.lastCode = m_talk.replied() ? m_reports.replyCode() : 0;
    facts.lastReply = m_reports.replyText();
    curl_off_t received = 0;
    curl_off_t expected = -1;
    curl_easy_getinfo(m_easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
    curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    facts.received = received;
    facts.expected = expected;
    return failureText(facts);
}

ConnectionListener::Socket FtpOperation::socketOpening(const QString &address)
{
    return m_talk.socketOpening(address);
}

void FtpOperation::tlsStarted()
{
    m_talk.tlsStarted();
}

void FtpOperation::tlsEstablished(const TlsHandshake &handshake)
{
    m_talk.tlsEstablished(handshake);
}

qint64 FtpOperation::bytesMoved() const
{
    curl_off_t bytes = 0;
    switch (m_order.command.verb) {
    case TransferVerb::Get:
    case TransferVerb::Dir:
    case TransferVerb::Ls:
        curl_easy_getinfo(m_easy, CURLINFO_SIZE_DOWNLOAD_T, &bytes);
        return bytes;
    case TransferVerb::Put:
        curl_easy_getinfo(m_easy, CURLINFO_SIZE_UPLOAD_T, &bytes);
        return bytes;
    default:
        return -1;
    }
}

FileDigest *FtpOperation::sentDigest()
{
    if (!m_sentChosen && m_files.uploading() && m_order.checkUpload) {
        m_sentChosen = true;
        const HashCommand hash = hashCommand(m_talk.features());
        if (!hash.command.isEmpty())
            m_sent.emplace(hash.algorithm);
    }
    return m_sent ? &*m_sent : nullptr;
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
    self->m_talk.dataMoving();
    // libcurl ends the transfer on a short count; the file's error names the cause.
    return self->m_files.write(data, qint64(length)) ? length : 0;
}

size_t FtpOperation::onRead(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<FtpOperation *>(userp);
    self->m_talk.dataMoving();
    const qint64 read = self->m_files.read(data, qint64(size * count));
    if (read < 0)
        return CURL_READFUNC_ABORT;
    if (FileDigest *sent = self->sentDigest())
        sent->add(QByteArrayView(data, read));
    return size_t(read);
}

bool FtpOperation::replyHeader(QByteArrayView line)
{
    m_talk.replyLine(QString::fromUtf8(withoutLineEnd(line)));
    if (const std::optional<QString> error = m_talk.replyError()) {
        m_replyError = malformedReplyText(m_order.server(), *error);
        return false;
    }
    return true;
}

void FtpOperation::debugOutput(curl_infotype type, QByteArrayView data)
{
    const std::optional<OperatorLine> line = operatorLine(type, data);
    if (!line)
        return;
    // A reply proves the connection, which the log says first.
    if (type == CURLINFO_HEADER_IN)
        m_talk.connected();
    m_reports.protocol(line->kind, line->text);
    if (type == CURLINFO_HEADER_OUT)
        m_talk.commandSent(line->text);
}

int FtpOperation::onProgress(void *userp, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                             curl_off_t ulNow)
{
    auto *self = static_cast<FtpOperation *>(userp);
    // libcurl counts what it has written to the connection: once that is
    // the whole file, what follows is the wait for the server's word on it.
    if (self->m_files.uploading() && ulTotal > 0 && ulNow >= ulTotal)
        self->m_talk.dataSent();
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
