#pragma once

#include "engine/generated_data.h"
#include "engine/stepwise_operation.h"
#include "text/report/soak_report.h"

#include <QElapsedTimer>

#include <memory>

// SOAK [rounds] [folder]: rounds of upload, size check, read-back and
// delete of a file of a drawn size, on the kept login, to count how often
// an account fails, where, and how badly. Each round's file is made from
// the seed, sent from memory, and compared as it comes back; a request
// that loses the login leaves the next to log in again. Each round is
// reported as it ends; the whole ends well only when every round passed,
// with "N rounds, P passed, F failed" as its reply.
class SoakOperation final : public StepwiseOperation
{
public:
    SoakOperation(OperationOrder order, const OperationContext &context, OperationFactory make);

    // The running request ends; the round's file is still deleted, then
    // the soak ends with the rounds that ended.
    OperationStep stopping() override;
    OperationOutcome stop() override;

private:
    OperationStep next(OperationOutcome outcome) override;
    OperationStep stepFailed(OperationOutcome outcome) override;

    OperationStep startRound();
    OperationStep run(SoakPhase request);
    // The time `outcome`'s request took, spread over the round's phases:
    // its connection and login, and the rest to `phase`.
    void time(SoakPhase phase, const OperationOutcome &outcome);
    void fail(SoakPhase phase, const QString &reason);
    OperationStep afterUpload();
    OperationStep afterVerify(const OperationOutcome &outcome);
    OperationStep endRound();
    OperationStep finish(bool stopped);
    GeneratedFile::Fill fill() const;

    SoakSettings m_settings;
    quint64 m_seed = 0;
    int m_rounds = DefaultSoakRounds;
    QString m_remote; // the rounds' file, from the current folder
    QList<SoakRound> m_ended;
    SoakRound m_round;
    SoakPhase m_request = SoakPhase::Upload;
    QString m_uploadFailure; // the upload's own failure, before its size is known
    std::shared_ptr<ComparedFile> m_readBack;
    QElapsedTimer m_requestClock;
    QElapsedTimer m_clock;
    bool m_loginStood = false; // after the last request; not known before the first
    bool m_fileMayExist = false;
    bool m_stopping = false;
};
