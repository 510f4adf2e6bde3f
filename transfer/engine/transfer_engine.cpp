#include "engine/transfer_engine.h"

#include "engine/multi_driver.h"
#include "text/failure_text.h"
#include "text/idle_text.h"
#include "text/state_text.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTransfer, "sarvel.transfer", QtWarningMsg)

TransferEngine::TransferEngine(OperationFactory makeOperation, ReportQueue::Outlet outlet,
                               std::shared_ptr<SocketRegistry> sockets, QThread *reportThread)
    : m_makeOperation(std::move(makeOperation)), m_reports(std::move(outlet), reportThread),
      m_sockets(sockets), m_watch(std::move(sockets), m_reports), m_waitTimer(new QTimer(this)),
      m_keepaliveTimer(new QTimer(this)), m_keepaliveMs(DefaultKeepaliveSeconds * 1000)
{
    // Children, so they move to the engine's thread with it.
    m_waitTimer->setSingleShot(true);
    connect(m_waitTimer, &QTimer::timeout, this, &TransferEngine::resumeWaiting);
    m_keepaliveTimer->setSingleShot(true);
    connect(m_keepaliveTimer, &QTimer::timeout, this, &TransferEngine::keepAlive);
}

TransferEngine::~TransferEngine() = default;

MultiDriver &TransferEngine::driver()
{
    // Made on first use, on the engine's thread: its notifiers and timer
    // belong to the thread that runs them.
    if (!m_driver) {
        m_driver = std::make_unique<MultiDriver>(
            [this](CURL *easy, CURLcode result) { onDone(easy, result); },
            [this] { afterAction(); },
            [sockets = m_sockets](curl_socket_t socket) { return sockets->isOpen(socket); });
        m_watch.setDriver(m_driver.get());
    }
    return *m_driver;
}

void TransferEngine::start(const OperationOrder &order)
{
    // A keepalive's reply is a moment away; the command follows it.
    if (m_keepaliveRunning) {
        m_queued = order;
        return;
    }
    m_keepaliveTimer->stop();
    m_pending.reset();
    // The last command's reply or failure says nothing of this one.
    m_reports.setReply(0, QString());
    // A site check makes its own login, so that it measures one; a login
    // made through another proxy, or none, is not this command's route.
    if (order.newLogin || order.command.verb == TransferVerb::Check ||
        order.proxy != m_login.route) {
        dropLogin(false);
        m_loginGone.clear();
    }
    m_login.route = order.proxy;
    checkKeptLogin(order.command.verb != TransferVerb::Close);
    m_kept = order;
    // With no login there is nothing to say to any server; SFTP has no QUIT,
    // and its login goes when report() drops the pooled connection.
    if (order.command.verb == TransferVerb::Close &&
        (m_login.protection.isEmpty() || order.protocol == TransferProtocol::Sftp)) {
        m_reports.protocol(ProtocolEvent::Kind::Info, startLine(order.command));
        m_reports.state(TransferState::Disconnecting);
        OperationOutcome closed;
        closed.ok = true;
        report(order.command, closed);
        return m_reports.flush();
    }
    attempt(order);
}

void TransferEngine::attempt(const OperationOrder &order, TlsSettings::Check check,
                             const QString &reason)
{
    endOperation(false);
    guarded(order.command, [&] { launch(order, check, reason); });
    m_reports.flush();
}

void TransferEngine::launch(const OperationOrder &order, TlsSettings::Check check,
                            const QString &reason)
{
    if (!m_easy) {
        // One handle for every operation, reset before each, as the curl
        // tool keeps one across its URLs: cheaper than a new handle per command.
        m_easy.reset(curl_easy_init());
        if (!m_easy)
            throw CurlFault("libcurl could not make a request handle");
    }
    OperationContext context{m_easy.get(), m_reports, m_watch};
    context.share = share();
    context.trust = m_trust[order.server()];
    context.check = check;
    context.reason = reason;
    context.announceUtf8 = !m_login.utf8Announced;
    context.loginFeatures = m_login.features;
    context.loginEncrypted = m_login.protection.startsWith(QLatin1String("TLS"));
    if (!m_login.protection.isEmpty() && m_sinceRequest.isValid())
        context.idleMs = m_sinceRequest.elapsed();
    m_op = m_makeOperation(order, context);
    driver().add(m_op->easy());
}

template <typename Call> void TransferEngine::guarded(TransferCommand command, Call &&call)
{
    QString failure;
    try {
        call();
        return;
    } catch (const CurlFault &fault) {
        m_reports.protocol(ProtocolEvent::Kind::Detail, QString::fromUtf8(fault.what()));
        failure = internalFaultText();
    } catch (const std::runtime_error &error) {
        // The operator's sentence: a local file that cannot be opened, say.
        failure = QString::fromUtf8(error.what());
    } catch (const std::exception &error) {
        m_reports.protocol(ProtocolEvent::Kind::Detail, QString::fromUtf8(error.what()));
        failure = internalFaultText();
    } catch (...) {
        failure = internalFaultText();
    }
    if (m_op && m_driver)
        m_driver->remove(m_op->easy());
    endOperation(true);
    refuse(command, failure);
}

// The running operation goes; so does the handle when its last transfer
// failed or an operation threw. libcurl 7.88 keeps some of a failed
// transfer's state in the handle past curl_easy_reset (the receive buffer of
// a transfer whose name lookup failed, after which it refuses
// CURLOPT_BUFFERSIZE), so such a handle would fail every later command.
void TransferEngine::endOperation(bool renewHandle)
{
    m_waitTimer->stop();
    m_op.reset();
    if (renewHandle)
        m_easy.reset();
}

CURLSH *TransferEngine::share()
{
    if (!m_share) {
        m_share.reset(curl_share_init());
        if (!m_share || curl_share_setopt(m_share.get(), CURLSHOPT_SHARE,
                                          CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK)
            throw std::runtime_error("libcurl could not share TLS sessions between requests.");
    }
    return m_share.get();
}

void TransferEngine::afterAction()
{
    if (m_op)
        guarded(m_op->order().command, [&] { m_op->afterAction(); });
    m_reports.flush();
}

void TransferEngine::onDone(CURL *easy, CURLcode result)
{
    if (!m_op || easy != m_op->easy())
        return;
    driver().remove(easy);
    if (m_keepaliveRunning)
        return keepaliveDone(result);
    advance(result, false);
}

void TransferEngine::advance(CURLcode result, bool resuming)
{
    const OperationOrder order = m_op->order();
    OperationStep step;
    bool thrown = true;
    guarded(order.command, [&] {
        step = resuming ? m_op->resume() : m_op->done(result);
        if (step.kind == OperationStep::Kind::Continue)
            driver().add(m_op->easy());
        thrown = false;
    });
    if (!thrown)
        follow(order, step, result);
}

void TransferEngine::follow(const OperationOrder &order, const OperationStep &step, CURLcode result)
{
    if (step.kind == OperationStep::Kind::Continue)
        return;
    if (step.kind == OperationStep::Kind::Wait)
        return m_waitTimer->start(step.waitMs);
    // A second attempt or a question never rides on the failed attempt's
    // connection, which libcurl has closed; the pool stays.
    OperationOrder again = order;
    again.newLogin = false;
    endOperation(result != CURLE_OK);
    switch (step.kind) {
    case OperationStep::Kind::Retry:
        return attempt(again, step.check, step.reason);
    case OperationStep::Kind::Ask:
        return ask(again, step.question, step.pin);
    case OperationStep::Kind::Continue:
    case OperationStep::Kind::Wait:
    case OperationStep::Kind::Finished:
        break;
    }
    report(order.command, step.outcome);
}

void TransferEngine::abort()
{
    if (m_queued) {
        const TransferCommand command = m_queued->command;
        m_queued.reset();
        m_reports.protocol(ProtocolEvent::Kind::Info, QLatin1String(StoppedText));
        refuse(command, QLatin1String(StoppedText));
        return m_reports.flush();
    }
    if (m_pending) {
        const TransferCommand command = m_pending->order.command;
        m_pending.reset();
        m_reports.protocol(ProtocolEvent::Kind::Info, QLatin1String(StoppedText));
        refuse(command, QLatin1String(StoppedText));
        return m_reports.flush();
    }
    if (!m_op || m_keepaliveRunning)
        return;
    m_waitTimer->stop();
    driver().remove(m_op->easy());
    const TransferCommand command = m_op->order().command;
    OperationStep step;
    bool thrown = true;
    guarded(command, [&] {
        step = m_op->stopping();
        // What a stopped operation still undoes on the server runs as any
        // request does, on the event loop.
        if (step.kind == OperationStep::Kind::Continue)
            driver().add(m_op->easy());
        thrown = false;
    });
    if (!thrown && step.kind != OperationStep::Kind::Continue) {
        // A transfer cut short may leave its state in the handle.
        endOperation(true);
        report(command, step.outcome);
    }
    m_reports.flush();
}

// Says how the operation ended: the reply behind the end, its state, the
// outcome and the timing in the log, then the outcome itself.
void TransferEngine::report(const TransferCommand &command, const OperationOutcome &outcome)
{
    if (command.verb == TransferVerb::Close) {
        dropLogin(true);
        m_reports.state(TransferState::Disconnected);
    } else if (outcome.freshLogin) {
        // A new login, or libcurl's silent reconnect, has been told about
        // UTF-8 only if this operation said so.
        m_login.utf8Announced = outcome.announcedUtf8;
        m_login.features.reset();
        setProtection(outcome.protection);
    }
    if (!outcome.features.isEmpty())
        m_login.features = outcome.features;
    if (outcome.folder && m_kept)
        m_kept->folder = *outcome.folder;
    if (!outcome.loginLost.isEmpty())
        loseLogin(outcome.loginLost);
    if (!outcome.failure.isEmpty())
        m_reports.setReply(outcome.code, outcome.failure);
    else if (outcome.ok && !outcome.summary.isEmpty())
        m_reports.setReply(0, outcome.summary);
    m_reports.state(outcome.ok ? TransferState::ResponseCompleted : TransferState::Error);
    m_reports.protocol(ProtocolEvent::Kind::Info,
                       outcomeLine(command, outcome.ok, m_reports.replyText(), outcome.times));
    if (outcome.times.total > 0)
        m_reports.protocol(ProtocolEvent::Kind::Info, timingLine(outcome.times));
    m_reports.finished(outcome.ok, outcome.retrieved, outcome.folder,
                       outcome.ok ? commandDoneText(command, outcome.times) : QString());
    m_sinceRequest.start();
    armKeepalive();
}

// Ends an operation that could not be started, before anything is sent.
void TransferEngine::refuse(const TransferCommand &command, const QString &message)
{
    OperationOutcome outcome;
    outcome.failure = message;
    report(command, outcome);
}

void TransferEngine::shutdown()
{
    m_keepaliveTimer->stop();
    m_waitTimer->stop();
    if (m_op && m_driver)
        m_driver->remove(m_op->easy());
    m_op.reset();
    m_driver.reset();
    m_watch.setDriver(nullptr);
    m_reports.clear();
}
