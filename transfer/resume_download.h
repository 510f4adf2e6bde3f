#pragma once

#include "engine/stepwise_operation.h"

// REGET: a download resumed into the partial local file, on FTP and SFTP
// alike, in three steps on one login: the server's size (SIZE); the
// server's bytes under the partial file's last ones (up to ResumeOverlap),
// compared with them; and, only when they agree, the rest, appended to a
// copy of the partial file that takes its place once whole.
class ResumeDownload final : public StepwiseOperation
{
public:
    // Throws std::runtime_error with the operator's sentence when there is
    // no partial file to resume.
    ResumeDownload(OperationOrder order, const OperationContext &context, OperationFactory make);

private:
    enum class Phase { Size, Compare, Fetch };

    OperationStep next(OperationOutcome outcome) override;
    OperationStep afterSize(OperationOutcome outcome);
    OperationStep afterCompare(OperationOutcome outcome);

    QString m_remote;
    QString m_local;
    qint64 m_localSize = 0;
    qint64 m_remoteSize = -1;
    QByteArray m_tail; // the partial file's last bytes
    Phase m_phase = Phase::Size;
};
