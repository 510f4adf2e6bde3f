#include "site_check/site_check_book.h"

#include "text/failure_text.h"

SiteCheckBook::SiteCheckBook(QList<SiteCheckStepId> order, Outlets outlets)
    : m_order(std::move(order)), m_outlets(std::move(outlets))
{}

void SiteCheckBook::report(const SiteCheckStep &step)
{
    if (m_reported.contains(step.id))
        return;
    m_reported.insert(step.id);
    m_steps << step;
    if (m_outlets.step)
        m_outlets.step(step);
}

const SiteCheckStep *SiteCheckBook::step(SiteCheckStepId id) const
{
    for (const SiteCheckStep &step : m_steps)
        if (step.id == id)
            return &step;
    return nullptr;
}

void SiteCheckBook::skip(SiteCheckStepId from, SiteCheckStepId to, const QString &reason,
                         const QString &cause)
{
    const qsizetype first = m_order.indexOf(from);
    const qsizetype last = m_order.indexOf(to);
    for (qsizetype i = first; i >= 0 && i <= last; ++i) {
        if (m_reported.contains(m_order.at(i)))
            continue;
        SiteCheckStep step;
        step.id = m_order.at(i);
        step.outcome = SiteCheckOutcome::skipped(reason);
        step.cause = cause;
        report(step);
    }
}

void SiteCheckBook::skipAfter(SiteCheckStepId after, SiteCheckStepId from, const QString &cause)
{
    skipAfter(after, from, m_order.constLast(), cause);
}

void SiteCheckBook::skipAfter(SiteCheckStepId after, SiteCheckStepId from, SiteCheckStepId to,
                              const QString &cause)
{
    const SiteCheckStep *behind = step(after);
    const SiteCheckResult result = behind ? behind->outcome.result : SiteCheckResult::Skipped;
    const QString named = !cause.isEmpty() ? cause : behind ? behind->outcome.detail : QString();
    skip(from, to, SiteCheckOutcome::skippedAfter(siteCheckStepNumber(after), result).detail,
         named);
}

void SiteCheckBook::begin(SiteCheckStepId id, int limitSeconds)
{
    if (m_reported.contains(id) || m_begun.contains(id) || !m_order.contains(id))
        return;
    m_begun.insert(id);
    if (m_outlets.progress)
        m_outlets.progress(siteCheckProgress(id, m_order, limitSeconds));
}

OperationOutcome SiteCheckBook::finish()
{
    skipFrom(m_order.constFirst(), QStringLiteral("the check ended before this step"));
    OperationOutcome outcome;
    outcome.ok = siteCheckVerdict(m_steps) != SiteCheckResult::Fail;
    outcome.summary = siteCheckVerdictLine(m_steps);
    if (!outcome.ok)
        outcome.failure = outcome.summary;
    outcome.freshLogin = true;
    return outcome;
}

OperationOutcome SiteCheckBook::stopped()
{
    const QString stopped = QLatin1String(StoppedText);
    skipFrom(m_order.constFirst(), stopped, stopped);
    OperationOutcome outcome = finish();
    outcome.ok = false;
    outcome.failure = stopped;
    return outcome;
}
