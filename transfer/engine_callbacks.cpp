// libcurl's callbacks into the engine. They run inside libcurl calls on the
// engine's thread, so they only record and queue: calling libcurl from here
// would fail (CURLM_RECURSIVE_API_CALL), and reports wait for the flush that
// follows every call into libcurl.
#include "transfer_engine.h"

#include "engine_operation.h"
#include "multi_driver.h"

#include <QLoggingCategory>
#include <QRegularExpression>

#include <sys/socket.h>

Q_DECLARE_LOGGING_CATEGORY(lcTransfer)

namespace {

QByteArray withoutLineEnd(const char *data, size_t size)
{
    QByteArray line(data, qsizetype(size));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

size_t TransferEngine::onWrite(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<TransferEngine *>(userp);
    Operation *op = self->m_op.get();
    const qint64 length = qint64(size * count);
    if (!op || !op->sink)
        return size * count;
    self->dataStarted();
    if (op->sink->write(data, length) != length) {
        // libcurl ends the transfer on a short count; the file's error names the cause.
        op->localError =
            op->request.localName.isEmpty()
                ? QStringLiteral("Cannot write the retrieved data: %1").arg(op->sink->errorString())
                : QStringLiteral("Cannot write the local file %1: %2")
                      .arg(op->request.localName, op->sink->errorString());
        return 0;
    }
    return size * count;
}

size_t TransferEngine::onRead(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<TransferEngine *>(userp);
    Operation *op = self->m_op.get();
    self->dataStarted();
    const qint64 read = op->source->read(data, qint64(size * count));
    if (read < 0) {
        op->localError = QStringLiteral("Cannot read the local file %1: %2")
                             .arg(op->request.localName, op->source->errorString());
        return CURL_READFUNC_ABORT;
    }
    return size_t(read);
}

size_t TransferEngine::onHeader(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<TransferEngine *>(userp);
    if (self->m_op)
        self->replyLine(QString::fromUtf8(withoutLineEnd(data, size * count)));
    return size * count;
}

int TransferEngine::onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    auto *self = static_cast<TransferEngine *>(userp);
    if (type != CURLINFO_HEADER_OUT && type != CURLINFO_HEADER_IN && type != CURLINFO_TEXT)
        return 0;
    QByteArray line = withoutLineEnd(data, size);
    if (type == CURLINFO_HEADER_OUT) {
        // libcurl shows the login line as sent, password in clear.
        if (line.startsWith("PASS "))
            line = "PASS ****";
        qCDebug(lcTransfer, "> %s", line.constData());
        self->queueProtocol(ProtocolEvent::Kind::Sent, QString::fromUtf8(line));
        if (self->m_op)
            self->m_op->lastCommand = QString::fromUtf8(line);
        if (self->m_op && self->m_op->verb == FtpVerb::Put && line.startsWith("SIZE ")) {
            self->m_op->checkingSize = true;
            return 0;
        }
        if (self->m_op) {
            self->m_op->controlUp = true;
            self->queueState(TransferState::Requesting);
            self->queueState(TransferState::RequestSent);
        }
    } else if (type == CURLINFO_HEADER_IN) {
        self->queueProtocol(ProtocolEvent::Kind::Received, QString::fromUtf8(line));
    } else {
        if (Operation *op = self->m_op.get()) {
            if (op->protection.isEmpty())
                op->protection = protectionFromCurlText(line);
            if (line.startsWith("Connected to "))
                op->connected = true;
            // "Connecting to host (address) port N": a data connection.
            static const QRegularExpression data(
                QStringLiteral("^Connecting to .* \\((.*)\\) port (\\d+)"));
            const QRegularExpressionMatch match = data.match(QString::fromUtf8(line));
            if (match.hasMatch())
                op->dataAddress = match.captured(1) + QLatin1Char(':') + match.captured(2);
        }
        qCDebug(lcTransfer, "* %s", line.constData());
        self->queueProtocol(ProtocolEvent::Kind::Info, QString::fromUtf8(line));
    }
    return 0;
}

int TransferEngine::onProgress(void *userp, curl_off_t dlTotal, curl_off_t dlNow,
                               curl_off_t ulTotal, curl_off_t ulNow)
{
    auto *self = static_cast<TransferEngine *>(userp);
    Operation *op = self->m_op.get();
    if (!op || op->sinceProgress.elapsed() < 250)
        return 0;
    op->sinceProgress.restart();
    const bool upload = op->verb == FtpVerb::Put;
    const qint64 done = upload ? ulNow : dlNow;
    const qint64 total = upload ? ulTotal : dlTotal;
    if (done > 0) {
        EngineReport report;
        report.kind = EngineReport::Kind::Progress;
        report.done = done;
        report.total = total > 0 ? total : -1;
        self->m_reports.push_back(std::move(report));
    }
    return 0;
}

curl_socket_t TransferEngine::onOpenSocket(void *userp, curlsocktype, curl_sockaddr *address)
{
    auto *self = static_cast<TransferEngine *>(userp);
    // The control connection opens before any command; later sockets carry data.
    if (self->m_op && !self->m_op->controlUp) {
        self->m_op->freshConnection = true;
        self->queueState(TransferState::ResolvingHost);
        self->queueState(TransferState::HostResolved);
        self->queueState(TransferState::Connecting);
    }
    const curl_socket_t socket =
        ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (socket != CURL_SOCKET_BAD)
        self->m_sockets->opened(socket);
    return socket;
}

int TransferEngine::onCloseSocket(void *userp, curl_socket_t socket)
{
    auto *self = static_cast<TransferEngine *>(userp);
    if (self->m_driver)
        self->m_driver->forget(socket);
    self->m_sockets->close(socket);
    return 0;
}
