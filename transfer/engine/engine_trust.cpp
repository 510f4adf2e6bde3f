#include "engine/transfer_engine.h"

#include "text/failure_text.h"

// The engine's questions to the operator, and what their answers lead to.

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
