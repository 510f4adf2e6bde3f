#include "idle_test.h"

#include "engine/connection_watch.h"
#include "engine/report_queue.h"
#include "text/failure_text.h"

namespace {

// How often the wait's progress shows.
constexpr int TickMs = 1000;

} // namespace

IdleTest::IdleTest(OperationOrder order, const OperationContext &context, OperationFactory make)
    : StepwiseOperation(std::move(order), context, std::move(make)), m_watch(context.watch),
      m_timeoutSeconds(this->order().timeoutSeconds), m_first(firstWait())
{
    const QStringList &args = this->order().command.args;
    m_finding.max = args.isEmpty() ? DefaultIdleTestMaxSeconds : args.first().toInt();
    m_finding.timeoutSeconds = m_timeoutSeconds;
    // The first NOOP makes the login, or finds the kept one.
    begin(TransferCommand{TransferVerb::Noop, {}});
}

int IdleTest::firstWait()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("SARVEL_IDLETEST_FIRST_WAIT", &ok);
    return ok && seconds > 0 ? seconds : IdleTestFirstWaitSeconds;
}

OperationStep IdleTest::next(OperationOutcome outcome)
{
    // libcurl logs in again on its own where the connection it kept has
    // gone: the login did not survive the wait.
    if (m_phase == Phase::Noop && outcome.freshLogin)
        return cut(IdleCut::Closed);
    if (m_phase == Phase::Noop)
        m_finding.survived = m_wait;
    m_wait = nextIdleWait(m_wait, m_first, m_finding.max);
    if (m_wait == 0)
        return found(idleFindingText(m_finding));
    m_phase = Phase::Waiting;
    m_clock.start();
    return waitStep();
}

OperationStep IdleTest::stepFailed(OperationOutcome outcome)
{
    if (m_phase == Phase::Login)
        return end(std::move(outcome));
    // A NOOP that took the whole time-out heard nothing; one refused was
    // answered by the server; any other failure was the connection's.
    if (m_clock.elapsed() >= qint64(m_timeoutSeconds) * 1000 - 500)
        return cut(IdleCut::Silence);
    if (outcome.code > 0)
        return cut(IdleCut::Reply, reports().replyText());
    return cut(IdleCut::Reset);
}

OperationStep IdleTest::resume()
{
    if (m_clock.elapsed() < qint64(m_wait) * 1000)
        return waitStep();
    // A connection cut while idle is seen on its socket; a NOOP on it would
    // have libcurl log in again instead.
    const LoginProbe probe = m_watch.probeLogin();
    switch (probe.kind) {
    case LoginProbe::Kind::Said:
        return cut(IdleCut::Reply, probe.said);
    case LoginProbe::Kind::Closed:
        return cut(IdleCut::Closed);
    case LoginProbe::Kind::Reset:
        return cut(IdleCut::Reset);
    case LoginProbe::Kind::Open:
        break;
    }
    return noop();
}

OperationStep IdleTest::noop()
{
    m_phase = Phase::Noop;
    m_clock.start();
    reports().setReply(0, QString());
    return begin(TransferCommand{TransferVerb::Noop, {}});
}

OperationStep IdleTest::waitStep()
{
    const qint64 idle = m_clock.elapsed();
    reports().setReply(0, idleProgressText(int(idle / 1000), m_wait, m_finding.max));
    reports().state(TransferState::ResponseReceived);
    OperationStep step;
    step.kind = OperationStep::Kind::Wait;
    step.waitMs = int(qMin<qint64>(TickMs, qint64(m_wait) * 1000 - idle));
    return step;
}

OperationStep IdleTest::cut(IdleCut how, const QString &reply)
{
    m_finding.cut = how;
    m_finding.cutAfter = m_wait;
    m_finding.reply = reply;
    OperationStep step = found(idleFindingText(m_finding));
    step.outcome.loginLost = QStringLiteral("IDLETEST's login was cut after %1 s idle").arg(m_wait);
    return step;
}

OperationStep IdleTest::found(const QString &summary)
{
    reports().protocol(ProtocolEvent::Kind::Info, QStringLiteral("IDLETEST: %1").arg(summary));
    OperationOutcome outcome;
    outcome.ok = true;
    outcome.summary = summary;
    return end(std::move(outcome));
}

OperationStep IdleTest::stopping()
{
    if (m_phase == Phase::Login)
        return StepwiseOperation::stopping();
    // A NOOP cut short leaves the login in doubt.
    const bool inDoubt = m_phase == Phase::Noop;
    if (inDoubt)
        StepwiseOperation::stopping();
    else
        reports().protocol(ProtocolEvent::Kind::Info, QLatin1String(StoppedText));
    OperationStep step = found(idleStoppedText(m_finding));
    if (inDoubt)
        step.outcome.loginLost = QStringLiteral("IDLETEST was stopped during a NOOP");
    return step;
}
