#pragma once

#include "engine/operation.h"

// An operation made of others run in turn on one login: each step is an
// operation of the protocol's own, made by `make` from the order with
// another command. A step's question, second attempt or own next request
// goes to the engine as it comes; a step that fails ends the whole.
class StepwiseOperation : public Operation
{
    Q_DISABLE_COPY_MOVE(StepwiseOperation)
public:
    StepwiseOperation(OperationOrder order, const OperationContext &context, OperationFactory make);

    CURL *easy() const override { return m_context.easy; }
    const OperationOrder &order() const override { return m_order; }
    void afterAction() override { m_step->afterAction(); }
    OperationStep done(CURLcode result) override;
    OperationOutcome stop() override { return m_step->stop(); }
    OperationStep stopping() override { return m_step->stopping(); }

protected:
    // What follows a step that went well: begin() the next, or end().
    // std::runtime_error ends the whole with its sentence.
    virtual OperationStep next(OperationOutcome outcome) = 0;
    // What follows a step that failed: by default the whole fails with it.
    virtual OperationStep stepFailed(OperationOutcome outcome) { return end(std::move(outcome)); }

    // Starts a step; the step after the first says Continue with it. A
    // download's data goes to `sink`, when one is given, in place of a file;
    // with `memoryData` the step's upload or download is that device.
    OperationStep begin(const TransferCommand &command, qint64 resumeFrom = 0,
                        const QByteArray &range = {}, DataSink sink = {},
                        std::shared_ptr<QIODevice> memoryData = {});
    // The whole ends with `outcome`, failed with `failure` when one is given.
    OperationStep end(OperationOutcome outcome, const QString &failure = {});
    ReportQueue &reports() const { return m_context.reports; }

private:
    OperationOrder m_order;
    OperationContext m_context;
    OperationFactory m_make;
    bool m_freshLogin = false;
    bool m_announcedUtf8 = false; // a step told the login about UTF-8
    QString m_protection;         // of the login the steps share
    std::unique_ptr<Operation> m_step;
};
