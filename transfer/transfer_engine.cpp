#include "transfer_engine.h"

#include "engine_operation.h"
#include "multi_driver.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QTemporaryFile>

#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcTransfer, "sarvel.transfer", QtWarningMsg)

void SocketRegistry::opened(curl_socket_t socket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.insert(socket);
    if (m_cut)
        ::shutdown(socket, SHUT_RDWR);
}

void SocketRegistry::close(curl_socket_t socket)
{
    // Under the lock, so shutdownAll never reaches a descriptor number that
    // has been closed and handed out again.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.erase(socket);
    ::close(socket);
}

void SocketRegistry::shutdownAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cut = true;
    for (curl_socket_t socket : m_sockets)
        ::shutdown(socket, SHUT_RDWR);
}

TransferEngine::TransferEngine(ReportSink sink, std::shared_ptr<SocketRegistry> sockets,
                               QThread *reportThread)
    : m_sink(std::move(sink)), m_sockets(std::move(sockets)), m_reportThread(reportThread)
{}

TransferEngine::~TransferEngine() = default;

MultiDriver &TransferEngine::driver()
{
    // Made on first use, on the engine's thread: its notifiers and timer
    // belong to the thread that runs them.
    if (!m_driver)
        m_driver = std::make_unique<MultiDriver>(
            [this](CURL *easy, CURLcode result) { finish(easy, result); }, [this] { flush(); });
    return *m_driver;
}

void TransferEngine::start(const EngineRequest &request)
{
    try {
        begin(request);
    } catch (const std::exception &error) {
        fail(QString::fromUtf8(error.what()));
    }
    flush();
}

void TransferEngine::begin(const EngineRequest &request, TlsSettings::Check check,
                           const QString &verifyFailure)
{
    m_server = server(request);
    m_pending.reset();
    if (request.newLogin) {
        driver().reset();
        setProtection({});
    }
    m_op = std::make_unique<Operation>();
    m_op->verb = request.command.verb;
    m_op->origin = request;
    m_op->check = check;
    m_op->verifyFailure = verifyFailure;
    if (!m_easy) {
        // One handle for every operation, as the curl tool keeps one: libcurl
        // 7.88 times a TLS data connection on a reused login from the
        // handle's first transfer, and a fresh handle fails it at once.
        m_easy.reset(curl_easy_init());
        if (!m_easy)
            throw std::runtime_error("libcurl could not make a request handle.");
    }
    m_op->request = prepareRequest(m_easy.get(), request, tlsFor(request, check));
    openFiles(*m_op);

    CURL *easy = m_op->request.easy;
    setOption(easy, CURLOPT_ERRORBUFFER, m_op->errorBuffer);
    setOption(easy, CURLOPT_HEADERFUNCTION, &TransferEngine::onHeader);
    setOption(easy, CURLOPT_HEADERDATA, this);
    setOption(easy, CURLOPT_VERBOSE, 1L);
    setOption(easy, CURLOPT_DEBUGFUNCTION, &TransferEngine::onDebug);
    setOption(easy, CURLOPT_DEBUGDATA, this);
    setOption(easy, CURLOPT_OPENSOCKETFUNCTION, &TransferEngine::onOpenSocket);
    setOption(easy, CURLOPT_OPENSOCKETDATA, this);
    setOption(easy, CURLOPT_CLOSESOCKETFUNCTION, &TransferEngine::onCloseSocket);
    setOption(easy, CURLOPT_CLOSESOCKETDATA, this);
    setOption(easy, CURLOPT_NOPROGRESS, 0L);
    setOption(easy, CURLOPT_XFERINFOFUNCTION, &TransferEngine::onProgress);
    setOption(easy, CURLOPT_XFERINFODATA, this);
    setOption(easy, CURLOPT_WRITEFUNCTION, &TransferEngine::onWrite);
    setOption(easy, CURLOPT_WRITEDATA, this);
    if (m_op->source) {
        setOption(easy, CURLOPT_READFUNCTION, &TransferEngine::onRead);
        setOption(easy, CURLOPT_READDATA, this);
        m_op->localSize = m_op->source->size();
        setOption(easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_op->localSize));
    }
    m_op->sinceProgress.start();
    driver().add(easy);
}

// Opens the local files before anything is sent, so a local problem costs no
// connection and names its path.
void TransferEngine::openFiles(Operation &op)
{
    const QString &local = op.request.localName;
    const auto cannot = [&](const QString &what, const QString &why) {
        return std::runtime_error(
            QStringLiteral("Cannot %1 the local file %2: %3").arg(what, local, why).toStdString());
    };
    switch (op.request.data) {
    case PreparedRequest::Data::None:
        return;
    case PreparedRequest::Data::Upload: {
        if (QFileInfo(local).isDir())
            throw cannot(QStringLiteral("read"), QStringLiteral("it is a folder"));
        op.source = std::make_unique<QFile>(local);
        if (!op.source->open(QIODevice::ReadOnly))
            throw cannot(QStringLiteral("read"), op.source->errorString());
        return;
    }
    case PreparedRequest::Data::Download:
        if (local.isEmpty()) {
            auto spool = std::make_unique<QTemporaryFile>();
            if (!spool->open())
                throw std::runtime_error(
                    QStringLiteral("Cannot make a temporary file for the retrieved data: %1")
                        .arg(spool->errorString())
                        .toStdString());
            op.sink = std::move(spool);
        } else {
            auto target = std::make_unique<QSaveFile>(local);
            if (!target->open(QIODevice::WriteOnly))
                throw cannot(QStringLiteral("write"), target->errorString());
            op.sink = std::move(target);
        }
        return;
    }
}

void TransferEngine::abort()
{
    if (m_pending) {
        m_pending.reset();
        fail(QStringLiteral("Stopped by the operator"));
        return flush();
    }
    if (!m_op || !m_op->request.easy)
        return;
    driver().remove(m_op->request.easy);
    m_op->localError = QStringLiteral("Stopped by the operator");
    complete(false, m_op->localError);
    flush();
}

void TransferEngine::close()
{
    queueState(TransferState::Disconnecting);
    flush();
    driver().reset();
    setProtection({});
    queueProtocol(ProtocolEvent::Kind::Info, QStringLiteral("Connection closed"));
    queueState(TransferState::Disconnected);
    queueState(TransferState::ResponseCompleted);
    EngineReport finished;
    finished.kind = EngineReport::Kind::Finished;
    finished.ok = true;
    m_reports.push_back(std::move(finished));
    flush();
}

void TransferEngine::shutdown()
{
    if (m_op && m_driver)
        m_driver->remove(m_op->request.easy);
    m_op.reset();
    m_driver.reset();
    m_reports.clear();
}

QString TransferEngine::failureText(CURLcode result) const
{
    const QString detail = m_op->errorBuffer[0] ? QString::fromUtf8(m_op->errorBuffer)
                                                : QString::fromUtf8(curl_easy_strerror(result));
    return QStringLiteral("%1 (%2)").arg(detail, m_server);
}

void TransferEngine::finish(CURL *easy, CURLcode result)
{
    if (!m_op || easy != m_op->request.easy)
        return;
    driver().remove(easy);
    if (m_op->localError.isEmpty() && retryOrAsk(result))
        return;
    QString error = m_op->localError;
    // A refusal the server put in words stays as the server said it.
    if (error.isEmpty() && result != CURLE_OK && m_op->lastCode < 400)
        error = failureText(result);
    complete(result == CURLE_OK && error.isEmpty(), error);
}

// Ends the running operation: keeps or discards its file, reports the result.
void TransferEngine::complete(bool ok, const QString &error)
{
    std::unique_ptr<Operation> op = std::move(m_op);
    EngineReport finished;
    finished.kind = EngineReport::Kind::Finished;
    QString failure = error;
    if (op->freshConnection)
        setProtection(
            ok ? (op->protection.isEmpty() ? QStringLiteral("not encrypted") : op->protection)
               : QString());
    if (ok && op->serverSize >= 0 && op->serverSize != op->localSize) {
        ok = false;
        failure = QStringLiteral("The upload is incomplete: the server holds %1 bytes of the "
                                 "%2 bytes of %3.")
                      .arg(op->serverSize)
                      .arg(op->localSize)
                      .arg(op->request.localName);
        op->lastCode = 0;
    }
    if (auto *target = qobject_cast<QSaveFile *>(op->sink.get())) {
        // Not committed, a QSaveFile removes its temporary file and leaves
        // the target as it was.
        if (ok && !target->commit()) {
            ok = false;
            failure = QStringLiteral("Cannot write the local file %1: %2")
                          .arg(op->request.localName, target->errorString());
        }
        op->sink.reset();
        auto readBack = std::make_unique<QFile>(op->request.localName);
        if (ok && readBack->open(QIODevice::ReadOnly))
            handOver(finished, std::move(readBack));
    } else if (ok && op->sink) {
        if (!op->sink->flush() || !op->sink->seek(0)) {
            ok = false;
            failure =
                QStringLiteral("Cannot write the retrieved data: %1").arg(op->sink->errorString());
        } else {
            handOver(finished, std::move(op->sink));
        }
    }
    if (ok) {
        if (op->verb == FtpVerb::Size || op->verb == FtpVerb::Pwd) {
            QByteArray text = op->pwdFolder.toUtf8();
            if (op->verb == FtpVerb::Size) {
                curl_off_t size = -1;
                curl_easy_getinfo(op->request.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
                text = QByteArray::number(qint64(size));
            }
            auto buffer = std::make_unique<QBuffer>();
            buffer->setData(text);
            buffer->open(QIODevice::ReadOnly);
            handOver(finished, std::move(buffer));
        }
        finished.folder = op->request.newFolder;
        queueState(TransferState::ResponseCompleted);
    } else {
        if (!failure.isEmpty()) {
            m_lastCode = op->lastCode >= 400 ? op->lastCode : 0;
            m_lastInfo = failure;
        }
        queueState(TransferState::Error);
    }
    finished.ok = ok;
    m_reports.push_back(std::move(finished));
}

// Ends an operation that could not be started, before anything is sent.
void TransferEngine::fail(const QString &message)
{
    m_op.reset();
    m_lastCode = 0;
    m_lastInfo = message;
    queueState(TransferState::Error);
    EngineReport finished;
    finished.kind = EngineReport::Kind::Finished;
    m_reports.push_back(std::move(finished));
}

// The retrieved data goes to the facade's thread, where GetChunk reads it.
void TransferEngine::handOver(EngineReport &report, std::unique_ptr<QIODevice> device)
{
    device->moveToThread(m_reportThread);
    report.retrieved = std::move(device);
}

void TransferEngine::queueState(TransferState state)
{
    EngineReport report;
    report.state = qint16(state);
    report.code = m_lastCode;
    report.info = m_lastInfo;
    m_reports.push_back(std::move(report));
}

void TransferEngine::queueProtocol(ProtocolEvent::Kind kind, const QString &text)
{
    EngineReport report;
    report.kind = EngineReport::Kind::Protocol;
    report.event = {QTime::currentTime(), kind, text};
    m_reports.push_back(std::move(report));
}

// State 7 goes out once, when the first data moves, not for every block.
void TransferEngine::dataStarted()
{
    if (m_op->dataFlowing)
        return;
    m_op->dataFlowing = true;
    queueState(TransferState::ReceivingResponse);
}

void TransferEngine::flush()
{
    if (!m_reports.empty())
        m_sink(std::exchange(m_reports, {}));
}

// One line of a server reply, as libcurl read it.
void TransferEngine::replyLine(const QString &line)
{
    if (m_op->checkingSize) {
        // The upload's own check, not the operator's command: it is no state.
        const std::optional<FtpReply> reply = m_op->reply.addLine(line);
        if (reply) {
            m_op->checkingSize = false;
            if (reply->code == 213)
                m_op->serverSize = reply->text.mid(4).trimmed().toLongLong();
        }
        return;
    }
    // With CURLOPT_NOBODY libcurl also passes made-up HTTP-style lines
    // ("Content-Length: ..."); the assembler starts replies at coded lines only.
    const std::optional<FtpReply> reply = m_op->reply.addLine(line);
    if (!reply)
        return;
    if (!m_op->controlUp) {
        m_op->controlUp = true;
        queueState(TransferState::Connected);
    }
    m_lastCode = reply->code;
    m_lastInfo = reply->text;
    m_op->lastCode = m_lastCode;
    if (m_lastCode == 257 && m_op->verb == FtpVerb::Pwd)
        m_op->pwdFolder = folderFromPwdReply(m_lastInfo);
    queueState(TransferState::ResponseReceived);
}
