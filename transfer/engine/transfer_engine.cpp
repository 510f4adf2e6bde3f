#include "engine/transfer_engine.h"

#include "engine/multi_driver.h"
#include "text/failure_text.h"
#include "text/state_text.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTransfer, "sarvel.transfer", QtWarningMsg)

TransferEngine::TransferEngine(OperationFactory makeOperation, ReportQueue::Outlet outlet,
                               std::shared_ptr<SocketRegistry> sockets, QThread *reportThread)
    : m_makeOperation(std::move(makeOperation)), m_reports(std::move(outlet), reportThread),
      m_sockets(sockets), m_watch(std::move(sockets), m_reports)
{}

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
    m_pending.reset();
    // The last command's reply or failure says nothing of this one.
    m_reports.setReply(0, QString());
    // A site check makes its own login, so that it measures one; a login
    // made through another proxy, or none, is not this command's route.
    if (order.newLogin || order.command.verb == TransferVerb::Check || order.proxy != m_login.route)
        dropLogin(false);
    m_login.route = order.proxy;
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
    guarded(order.command, [&] {
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
        context.loginEncrypted = m_login.protection.startsWith(QLatin1String("TLS"));
        m_op = m_makeOperation(order, context);
        driver().add(m_op->easy());
    });
    m_reports.flush();
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
    const OperationOrder order = m_op->order();
    OperationStep step;
    bool thrown = true;
    guarded(order.command, [&] {
        step = m_op->done(result);
        if (step.kind == OperationStep::Kind::Continue)
            driver().add(m_op->easy());
        thrown = false;
    });
    if (thrown || step.kind == OperationStep::Kind::Continue)
        return;
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
    case OperationStep::Kind::Finished:
        break;
    }
    report(order.command, step.outcome);
}

void TransferEngine::abort()
{
    if (m_pending) {
        const TransferCommand command = m_pending->order.command;
        m_pending.reset();
        m_reports.protocol(ProtocolEvent::Kind::Info, QLatin1String(StoppedText));
        refuse(command, QLatin1String(StoppedText));
        return m_reports.flush();
    }
    if (!m_op)
        return;
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
        setProtection(outcome.protection);
    }
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
}

// Ends an operation that could not be started, before anything is sent.
void TransferEngine::refuse(const TransferCommand &command, const QString &message)
{
    OperationOutcome outcome;
    outcome.failure = message;
    report(command, outcome);
}

// The operation waits, holding nothing open, until answerTrust.
void TransferEngine::ask(const OperationOrder &order, TrustQuestion question, const QByteArray &pin)
{
    question.host = order.host;
    question.port = order.port;
    m_reports.protocol(ProtocolEvent::Kind::Info, trustQuestionLine(question));
    m_reports.question(question);
    m_pending = Pending{order, question, pin};
}

void TransferEngine::answerTrust(bool trusted)
{
    if (!m_pending)
        return;
    Pending pending = std::move(*m_pending);
    m_pending.reset();
    m_reports.protocol(ProtocolEvent::Kind::Info, trustAnswerLine(pending.question, trusted));
    if (!trusted) {
        refuse(pending.order.command, declinedTrustText(pending.question));
        return m_reports.flush();
    }
    ServerTrust &trust = m_trust[pending.order.server()];
    switch (pending.question.kind) {
    case TrustQuestion::Kind::Certificate:
        trust.pin = pending.pin;
        trust.fingerprint = pending.question.fingerprint;
        break;
    case TrustQuestion::Kind::ClearText:
        trust.clearText = true;
        break;
    case TrustQuestion::Kind::HostKey:
        trust.hostKey = pending.pin;
        break;
    }
    // A login under new terms never rides on a pooled connection.
    pending.order.newLogin = true;
    start(pending.order);
}

void TransferEngine::shutdown()
{
    if (m_op && m_driver)
        m_driver->remove(m_op->easy());
    m_op.reset();
    m_driver.reset();
    m_watch.setDriver(nullptr);
    m_reports.clear();
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
    setProtection({});
}

void TransferEngine::setProtection(const QString &protection)
{
    if (protection == m_login.protection)
        return;
    m_login.protection = protection;
    m_reports.protection(protection);
}
