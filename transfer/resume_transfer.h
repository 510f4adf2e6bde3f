#pragma once

#include "engine/stepwise_operation.h"

// REGET and REPUT: a transfer resumed onto the partial copy, the local file
// or the server's, on FTP and SFTP alike, in three steps on one login: the
// server's size (SIZE); the server's bytes under the partial copy's last
// ones (up to ResumeOverlap), compared with the whole copy's; and, only when
// they agree, the rest. A download appends it to the partial file, which
// anything but success cuts back to what it was; an upload appends it to the
// server's file, whose size the upload then checks.
class ResumeTransfer final : public StepwiseOperation
{
public:
    // Throws std::runtime_error with the operator's sentence when there is
    // no local file to resume from or onto.
    ResumeTransfer(OperationOrder order, const OperationContext &context, OperationFactory make);

private:
    enum class Phase { Size, Compare, Transfer };

    OperationStep next(OperationOutcome outcome) override;
    OperationStep afterSize(OperationOutcome outcome);
    OperationStep afterCompare(OperationOutcome outcome);
    OperationStep transferRest();

    bool m_upload;
    QString m_remote;
    QString m_local;
    qint64 m_localSize = 0;
    qint64 m_remoteSize = -1;
    qint64 m_partial = 0; // the size of the partial copy
    QByteArray m_tail;    // the whole copy's bytes under the partial one's last
    Phase m_phase = Phase::Size;
};
