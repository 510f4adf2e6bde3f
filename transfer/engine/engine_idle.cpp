#include "engine/transfer_engine.h"

#include "engine/multi_driver.h"
#include "text/idle_text.h"

// The kept login between commands: the keepalive that holds it open, the
// waits of an operation that leaves it idle on purpose, and its loss.

void TransferEngine::setKeepalive(int seconds)
{
    m_keepaliveMs = qMax(0, seconds) * 1000;
    m_keepaliveTimer->stop();
    armKeepalive();
}

// One single-shot timer, started when a command ends and stopped when one
// starts: nothing runs on the event loop between keepalives.
void TransferEngine::armKeepalive()
{
    if (m_keepaliveMs > 0 && !m_op && !m_pending && m_kept && !m_login.protection.isEmpty())
        m_keepaliveTimer->start(m_keepaliveMs);
}

// The protocol's own small request on the kept login (NOOP, or an SFTP
// stat), quiet: its lines show in the log, and no state, reply or outcome
// changes. A connection already found cut is dropped without a request, since
// libcurl would log in again on its own rather than fail.
void TransferEngine::keepAlive()
{
    if (m_op || m_pending || !m_kept || m_login.protection.isEmpty())
        return;
    const LoginProbe probe = m_watch.probeLogin();
    if (probe.kind != LoginProbe::Kind::Open) {
        loseLogin(QStringLiteral("the keepalive found that %1").arg(loginProbeText(probe)));
        return m_reports.flush();
    }
    OperationOrder order = *m_kept;
    order.command = TransferCommand{TransferVerb::Noop, {}};
    order.newLogin = false;
    m_keepaliveRunning = true;
    m_reports.setQuiet(true);
    try {
        launch(order, TlsSettings::Check::Authorities, {});
    } catch (const std::exception &error) {
        m_keepaliveRunning = false;
        m_reports.setQuiet(false);
        endOperation(true);
        loseLogin(QStringLiteral("the keepalive could not start: %1")
                      .arg(QString::fromUtf8(error.what())));
    }
    m_reports.flush();
}

void TransferEngine::keepaliveDone(CURLcode result)
{
    OperationStep step;
    QString failure;
    try {
        step = m_op->done(result);
        if (step.kind == OperationStep::Kind::Continue)
            return driver().add(m_op->easy());
        failure = step.outcome.failure;
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    // A keepalive that had to log in found the kept login gone: libcurl
    // logs in again on its own where the connection it kept was closed.
    const bool kept = failure.isEmpty() && step.kind == OperationStep::Kind::Finished &&
                      step.outcome.ok && !step.outcome.freshLogin;
    if (!kept && failure.isEmpty())
        failure = step.outcome.freshLogin ? QStringLiteral("the kept login had been closed")
                                          : QStringLiteral("no answer it could use");
    endOperation(result != CURLE_OK);
    m_keepaliveRunning = false;
    m_reports.setQuiet(false);
    if (!kept)
        loseLogin(QStringLiteral("the keepalive failed: %1").arg(failure));
    if (kept)
        m_sinceRequest.start();
    if (m_queued)
        start(*std::exchange(m_queued, std::nullopt));
    else
        armKeepalive();
    m_reports.flush();
}

void TransferEngine::checkKeptLogin(bool logsIn)
{
    if (!m_login.protection.isEmpty()) {
        const LoginProbe probe = m_watch.probeLogin();
        if (probe.kind != LoginProbe::Kind::Open)
            loseLogin(QStringLiteral("while the login was idle, %1").arg(loginProbeText(probe)));
    }
    if (m_loginGone.isEmpty())
        return;
    if (logsIn)
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           QStringLiteral("Logging in again: %1").arg(m_loginGone));
    m_loginGone.clear();
}

void TransferEngine::loseLogin(const QString &reason)
{
    m_reports.protocol(ProtocolEvent::Kind::Info,
                       QStringLiteral("The login is dropped: %1").arg(reason));
    m_loginGone = reason;
    dropLogin(true);
}

// An operation's wait is over.
void TransferEngine::resumeWaiting()
{
    if (!m_op)
        return;
    advance(CURLE_OK, true);
    m_reports.flush();
}

// Drops the pooled login; libcurl says QUIT on it as it goes. After CLOSE
// has said QUIT itself, the connection is cut first, so that libcurl's second
// QUIT waits for no reply that will never come.
void TransferEngine::dropLogin(bool cut)
{
    if (m_driver) {
        if (cut)
            m_watch.cutOpen();
        m_driver->reset();
    }
    m_login.utf8Announced = false;
    m_login.features.reset();
    setProtection({});
}

void TransferEngine::setProtection(const QString &protection)
{
    if (protection == m_login.protection)
        return;
    m_login.protection = protection;
    m_reports.protection(protection);
}
