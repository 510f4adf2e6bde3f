// How an operation ends: its failure put in words, its file kept or
// discarded, and the result reported with the data GetChunk reads back.
#include "engine_operation.h"
#include "failure_text.h"
#include "multi_driver.h"
#include "transfer_engine.h"

#include <QBuffer>
#include <QSaveFile>

QString TransferEngine::describeFailure(CURLcode result) const
{
    const Operation &op = *m_op;
    FailureFacts facts;
    facts.result = result;
    facts.server = m_server;
    facts.detail =
        QString::fromUtf8(op.errorBuffer[0] ? op.errorBuffer : curl_easy_strerror(result));
    facts.timeoutSeconds = op.origin.timeoutSeconds;
    facts.connected = op.connected || !op.freshConnection;
    facts.greeted = op.greeted || !op.freshConnection;
    facts.lastCode = op.lastCode;
    facts.lastReply = m_lastInfo;
    facts.lastCommand = op.lastCommand;
    facts.dataAddress = op.dataAddress;
    facts.dataFlowing = op.dataFlowing;
    curl_off_t received = 0;
    curl_off_t expected = -1;
    curl_easy_getinfo(op.request.easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
    curl_easy_getinfo(op.request.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    facts.received = received;
    facts.expected = expected;
    return failureText(facts);
}

void TransferEngine::finish(CURL *easy, CURLcode result)
{
    if (!m_op || easy != m_op->request.easy)
        return;
    driver().remove(easy);
    if (m_op->localError.isEmpty() && retryOrAsk(result))
        return;
    QString error = m_op->localError;
    // A refusal the server put in words stays as the server said it; a
    // refused login is named as such.
    if (error.isEmpty() && result != CURLE_OK &&
        (m_op->lastCode < 400 || result == CURLE_LOGIN_DENIED))
        error = describeFailure(result);
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
    queueProtocol(ProtocolEvent::Kind::Info,
                  QStringLiteral("Operation ended in state %1")
                      .arg(int(ok ? TransferState::ResponseCompleted : TransferState::Error)));
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
