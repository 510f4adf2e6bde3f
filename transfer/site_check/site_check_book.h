#pragma once

#include "engine/operation.h"
#include "text/report/site_check_report.h"

#include <QSet>

#include <functional>

// The bookkeeping both site checks share: each step reported once, the
// steps that cannot run skipped (after the step that stopped them, or for a
// reason of their own), each step's start announced once with its time
// limit, and the verdict that ends the check.
class SiteCheckBook final
{
public:
    struct Outlets
    {
        std::function<void(const SiteCheckStep &)> step;
        std::function<void(const SiteCheckProgress &)> progress;
    };
    // `order`: the check's steps, in the order they run.
    SiteCheckBook(QList<SiteCheckStepId> order, Outlets outlets);

    void report(const SiteCheckStep &step);
    bool reported(SiteCheckStepId id) const { return m_reported.contains(id); }
    // The step as reported; nullptr before.
    const SiteCheckStep *step(SiteCheckStepId id) const;
    // Every step from `from` to `to` not reported yet, as skipped for
    // `reason`; `cause` is what the verdict line names for them.
    void skip(SiteCheckStepId from, SiteCheckStepId to, const QString &reason,
              const QString &cause = {});
    void skipFrom(SiteCheckStepId from, const QString &reason, const QString &cause = {})
    {
        skip(from, m_order.constLast(), reason, cause);
    }
    // Every step from `from` to `to` (the last when none) not reported yet,
    // as skipped after the reported step `after`: "step 8 failed". The
    // verdict names `cause`, or that step's detail when it is empty.
    void skipAfter(SiteCheckStepId after, SiteCheckStepId from, const QString &cause = {});
    void skipAfter(SiteCheckStepId after, SiteCheckStepId from, SiteCheckStepId to,
                   const QString &cause = {});
    // Step `id` starts, and may take up to `limitSeconds` (0: no limit);
    // said once, and not for a step reported or begun already.
    void begin(SiteCheckStepId id, int limitSeconds);

    const QList<SiteCheckStep> &steps() const { return m_steps; }
    const QList<SiteCheckStepId> &order() const { return m_order; }
    // The check's end: the steps not reported skipped, and the verdict.
    OperationOutcome finish();
    // The same after the operator stopped it.
    OperationOutcome stopped();

private:
    QList<SiteCheckStepId> m_order;
    Outlets m_outlets;
    QSet<SiteCheckStepId> m_reported;
    QSet<SiteCheckStepId> m_begun;
    QList<SiteCheckStep> m_steps;
};
