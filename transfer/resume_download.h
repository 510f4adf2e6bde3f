#pragma once

#include "engine/operation.h"

// REGET: a download resumed into the partial local file, on FTP and SFTP
// alike, in three requests on one login: the server's size (SIZE); the
// server's bytes under the partial file's last ones (up to ResumeOverlap),
// compared with them; and, only when they agree, the rest, appended to a
// copy of the partial file that takes its place once whole. Each request is
// an operation of the protocol's own, made by `make`.
class ResumeDownload final : public Operation
{
    Q_DISABLE_COPY_MOVE(ResumeDownload)
public:
    // Throws std::runtime_error with the operator's sentence when there is
    // no partial file to resume.
    ResumeDownload(OperationOrder order, const OperationContext &context, OperationFactory make);

    CURL *easy() const override { return m_context.easy; }
    const OperationOrder &order() const override { return m_order; }
    void afterAction() override { m_step->afterAction(); }
    OperationStep done(CURLcode result) override;
    OperationOutcome stop() override { return m_step->stop(); }
    OperationStep stopping() override { return m_step->stopping(); }

private:
    enum class Phase { Size, Compare, Fetch };

    void begin(Phase phase, const TransferCommand &command, qint64 resumeFrom = 0,
               const QByteArray &range = {});
    OperationStep next(OperationOutcome outcome);
    OperationStep end(OperationOutcome outcome, const QString &failure = {});

    OperationOrder m_order;
    OperationContext m_context;
    OperationFactory m_make;
    QString m_remote;
    QString m_local;
    qint64 m_localSize = 0;
    qint64 m_remoteSize = -1;
    QByteArray m_tail; // the partial file's last bytes
    Phase m_phase = Phase::Size;
    bool m_freshLogin = false;
    std::unique_ptr<Operation> m_step;
};
