#include "site_check/site_check_clean_up.h"

#include "engine/curl_handles.h"
#include "engine/report_queue.h"
#include "site_check/site_check_findings.h"
#include "text/failure_text.h"

OperationStep SiteCheckCleanUp::stopping(bool fileMayExist, SiteCheckBook &book,
                                         ReportQueue &reports, const std::function<void()> &setUp,
                                         const std::function<OperationOutcome()> &stop)
{
    if (m_stopped)
        return OperationStep::finished(stop());
    m_stopped = true;
    reports.protocol(ProtocolEvent::Kind::Info, QLatin1String(StoppedText));
    if (!fileMayExist || book.reported(SiteCheckStepId::CleanUp))
        return OperationStep::finished(stop());
    reports.protocol(ProtocolEvent::Kind::Info,
                     QStringLiteral("Deleting the test file, for up to %1 s").arg(LimitSeconds));
    book.begin(SiteCheckStepId::CleanUp, LimitSeconds);
    m_running = true;
    try {
        setUp();
    } catch (const std::exception &) {
        return OperationStep::finished(stop());
    }
    OperationStep step;
    step.kind = OperationStep::Kind::Continue;
    return step;
}

OperationOrder SiteCheckCleanUp::limited(OperationOrder order)
{
    order.timeoutSeconds = qMin(order.timeoutSeconds, LimitSeconds);
    return order;
}

void SiteCheckCleanUp::limit(CURL *easy)
{
    setOption(easy, CURLOPT_CONNECTTIMEOUT, long(LimitSeconds));
    setOption(easy, CURLOPT_TIMEOUT, long(LimitSeconds));
}

OperationOutcome SiteCheckCleanUp::ended(SiteCheckBook &book)
{
    m_running = false;
    return book.stopped();
}

OperationOutcome SiteCheckCleanUp::stopped(SiteCheckBook &book, ReportQueue &reports,
                                           const QString &path)
{
    if (!m_stopped)
        reports.protocol(ProtocolEvent::Kind::Info, QLatin1String(StoppedText));
    m_stopped = true;
    if (m_running)
        book.report(
            siteCheckStep(SiteCheckStepId::CleanUp,
                          cleanUpUnanswered(path, QStringLiteral("stopped before it ended")), -1));
    return ended(book);
}

SiteCheckOutcome cleanUpUnanswered(const QString &path, const QString &why)
{
    return SiteCheckOutcome::warning(
        QStringLiteral("the deletion got no answer (%1): %2 may be left behind").arg(why, path),
        QStringLiteral("Delete %1 by hand.").arg(path));
}
