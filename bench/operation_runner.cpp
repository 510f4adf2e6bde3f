#include "operation_runner.h"

#include "cpu_time.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <stdexcept>

OperationRunner::OperationRunner(CurlTransfer &transfer, QObject *parent)
    : QObject(parent), m_transfer(transfer)
{
    connect(&m_transfer, &TransferComponent::trustQuestion, this, &OperationRunner::answer);
}

void OperationRunner::answer(const TrustQuestion &question)
{
    if (question.kind == TrustQuestion::Kind::Certificate)
        ++m_certificateQuestions;
    else
        ++m_clearTextQuestions;
    // Answered from the loop, later, as an operator's click would be.
    QTimer::singleShot(0, &m_transfer, [this] { m_transfer.answerTrust(true); });
}

OperationRunner::Result OperationRunner::run(const QString &operation, int timeLimitMs)
{
    Result result;
    QEventLoop loop;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;

    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, &loop, [&] {
        result.longestGapMs = qMax(result.longestGapMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, [&] {
        result.timedOut = true;
        loop.quit();
    });
    bool ended = false;
    const auto connection = connect(&m_transfer, &TransferComponent::finished, &loop, [&](bool ok) {
        result.ok = ok;
        ended = true;
        loop.quit();
    });

    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    clock.start();
    sinceTick.start();
    try {
        m_transfer.Execute(operation);
    } catch (const std::runtime_error &refused) {
        disconnect(connection);
        result.info = QString::fromUtf8(refused.what());
        return result;
    }
    ticker.start();
    limit.start(timeLimitMs);
    if (!ended)
        loop.exec();
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.cpuSeconds = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    disconnect(connection);
    result.code = m_transfer.ResponseCode();
    result.info = result.timedOut ? QStringLiteral("no end within %1 s").arg(timeLimitMs / 1000.0)
                                  : m_transfer.ResponseInfo();
    return result;
}
