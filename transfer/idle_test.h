#pragma once

#include "engine/stepwise_operation.h"
#include "text/idle_text.h"

#include <QElapsedTimer>

class ConnectionWatch;

// IDLETEST: how long a login may stay idle before something cuts it. On one
// login it waits 5, 10, 20, 40 ... seconds, up to the maximum, with a NOOP
// (SFTP: a stat) after each wait, until the login is cut or the maximum
// has passed; it ends with what it found, a cut login being a finding, not
// a failure. Only a login that could not be made at all fails it.
class IdleTest final : public StepwiseOperation
{
public:
    IdleTest(OperationOrder order, const OperationContext &context, OperationFactory make);

    OperationStep resume() override;
    OperationStep stopping() override;

    // The first wait in seconds: IdleTestFirstWaitSeconds, or the number in
    // SARVEL_IDLETEST_FIRST_WAIT, which the tests set to wait one second
    // rather than five.
    static int firstWait();

private:
    enum class Phase { Login, Waiting, Noop };

    OperationStep next(OperationOutcome outcome) override;
    OperationStep stepFailed(OperationOutcome outcome) override;
    OperationStep noop();
    OperationStep waitStep();
    OperationStep cut(IdleCut how, const QString &reply = {});
    OperationStep found(const QString &summary);

    ConnectionWatch &m_watch;
    int m_timeoutSeconds;
    int m_first;
    int m_wait = 0;
    IdleFinding m_finding;
    Phase m_phase = Phase::Login;
    QElapsedTimer m_clock; // since the last reply while waiting; since the NOOP while it runs
};
