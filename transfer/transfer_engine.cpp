#include "transfer_engine.h"

#include "engine_operation.h"
#include "multi_driver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTransfer, "sarvel.transfer", QtWarningMsg)

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
        m_utf8Announced = false;
    }
    m_op = std::make_unique<Operation>();
    m_op->verb = request.command.verb;
    m_op->origin = request;
    m_op->check = check;
    m_op->verifyFailure = verifyFailure;
    if (!m_easy) {
        // One handle for every operation, reset before each, as the curl tool
        // keeps one across its URLs: cheaper than a new handle per command.
        m_easy.reset(curl_easy_init());
        if (!m_easy)
            throw std::runtime_error("libcurl could not make a request handle.");
    }
    EngineRequest withOptions = request;
    withOptions.announceUtf8 = !m_utf8Announced;
    m_op->request = prepareRequest(m_easy.get(), withOptions, tlsFor(request, check));
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
    m_utf8Announced = false;
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
    m_op->greeted = true;
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
