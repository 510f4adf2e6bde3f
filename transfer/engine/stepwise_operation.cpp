#include "engine/stepwise_operation.h"

#include <stdexcept>

StepwiseOperation::StepwiseOperation(OperationOrder order, const OperationContext &context,
                                     OperationFactory make)
    : m_order(std::move(order)), m_context(context), m_make(std::move(make))
{}

OperationStep StepwiseOperation::begin(const TransferCommand &command, qint64 resumeFrom,
                                       const QByteArray &range, DataSink sink,
                                       std::shared_ptr<QIODevice> memoryData)
{
    OperationOrder step = m_order;
    step.command = command;
    step.resumeFrom = resumeFrom;
    step.range = range;
    step.memoryData = std::move(memoryData);
    m_step.reset(); // leaves the handle pointing at nothing of its own
    OperationContext context = m_context;
    context.sink = std::move(sink);
    m_step = m_make(step, context);
    OperationStep more;
    more.kind = OperationStep::Kind::Continue;
    return more;
}

OperationStep StepwiseOperation::done(CURLcode result)
{
    OperationStep step = m_step->done(result);
    // A new attempt or a Yes starts the whole again, from its first step.
    if (step.kind != OperationStep::Kind::Finished)
        return step;
    OperationOutcome &outcome = step.outcome;
    m_freshLogin = m_freshLogin || outcome.freshLogin;
    m_announcedUtf8 = m_announcedUtf8 || outcome.announcedUtf8;
    // A step on the login an earlier one made saw no handshake and says
    // "not encrypted"; only a step that logged in, or lost the login, tells.
    if (outcome.freshLogin || outcome.protection.isEmpty()) {
        m_protection = outcome.protection;
        m_context.loginEncrypted =
            !m_protection.isEmpty() && m_protection != QLatin1String("not encrypted");
    }
    try {
        if (!outcome.ok)
            return stepFailed(std::move(outcome));
        // The login stands: the steps after this one are told nothing new.
        m_context.announceUtf8 = m_context.announceUtf8 && !outcome.announcedUtf8;
        m_context.idleMs = 0;
        return next(std::move(outcome));
    } catch (const std::runtime_error &error) {
        return end({}, QString::fromUtf8(error.what()));
    }
}

OperationStep StepwiseOperation::end(OperationOutcome outcome, const QString &failure)
{
    if (!failure.isEmpty()) {
        outcome.ok = false;
        outcome.failure = failure;
        outcome.retrieved.reset();
        outcome.folder.reset();
    }
    outcome.freshLogin = m_freshLogin;
    outcome.announcedUtf8 = m_announcedUtf8;
    if (m_freshLogin || outcome.protection.isEmpty())
        outcome.protection = m_protection;
    return OperationStep::finished(std::move(outcome));
}
