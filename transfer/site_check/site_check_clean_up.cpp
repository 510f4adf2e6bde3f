#include "site_check/site_check_clean_up.h"

#include "engine/curl_handles.h"
#include "engine/report_queue.h"
#include "site_check/site_check_findings.h"
#include "text/failure_text.h"

bool SiteCheckCleanUp::begin(bool fileMayExist, SiteCheckBook &book, ReportQueue &reports)
{
    if (m_ran || !fileMayExist || book.reported(SiteCheckStepId::CleanUp))
        return false;
    m_ran = m_running = true;
    reports.protocol(ProtocolEvent::Kind::Info,
                     QStringLiteral("Deleting the test file, for up to %1 s").arg(LimitSeconds));
    book.begin(SiteCheckStepId::CleanUp, LimitSeconds);
    return true;
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

void SiteCheckCleanUp::end(SiteCheckBook &book, const QString &path)
{
    m_running = false;
    book.report(siteCheckStep(SiteCheckStepId::CleanUp,
                              cleanUpUnanswered(path, QString::fromLatin1(StoppedText).toLower()),
                              -1));
}

SiteCheckOutcome cleanUpUnanswered(const QString &path, const QString &why)
{
    return SiteCheckOutcome::warning(
        QStringLiteral("the deletion got no answer (%1): %2 may be left behind").arg(why, path),
        QStringLiteral("Delete %1 by hand.").arg(path));
}
