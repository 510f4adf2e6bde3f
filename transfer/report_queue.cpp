#include "report_queue.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTransfer)

void ReportQueue::setReply(qint32 code, const QString &text)
{
    m_code = code;
    m_text = text;
}

void ReportQueue::state(TransferState state)
{
    EngineReport report;
    report.state = state;
    report.code = m_code;
    report.info = m_text;
    m_reports.push_back(std::move(report));
}

void ReportQueue::protocol(ProtocolEvent::Kind kind, const QString &text)
{
    static const char *const marks[] = {">", "<", "*", "-"};
    qCDebug(lcTransfer, "%s %s", marks[int(kind)], qUtf8Printable(text));
    EngineReport report;
    report.kind = EngineReport::Kind::Protocol;
    report.event = {now(), kind, text};
    m_reports.push_back(std::move(report));
}

QTime ReportQueue::now()
{
    if (!m_sinceAnchor.isValid() || m_sinceAnchor.elapsed() >= 1000) {
        m_anchor = QTime::currentTime();
        m_sinceAnchor.start();
    }
    return m_anchor.addMSecs(int(m_sinceAnchor.elapsed()));
}

void ReportQueue::progress(qint64 done, qint64 total)
{
    EngineReport report;
    report.kind = EngineReport::Kind::Progress;
    report.done = done;
    report.total = total;
    m_reports.push_back(std::move(report));
}

void ReportQueue::question(const TrustQuestion &question)
{
    EngineReport report;
    report.kind = EngineReport::Kind::Question;
    report.question = question;
    m_reports.push_back(std::move(report));
}

void ReportQueue::protection(const QString &protection)
{
    EngineReport report;
    report.kind = EngineReport::Kind::Protection;
    report.protection = protection;
    m_reports.push_back(std::move(report));
}

void ReportQueue::siteCheckStep(const SiteCheckStep &step)
{
    EngineReport report;
    report.kind = EngineReport::Kind::SiteCheckStep;
    report.siteCheckStep = step;
    m_reports.push_back(std::move(report));
}

void ReportQueue::finished(bool ok, std::shared_ptr<QIODevice> retrieved,
                           std::optional<RemoteFolder> folder)
{
    EngineReport report;
    report.kind = EngineReport::Kind::Finished;
    report.ok = ok;
    if (retrieved)
        retrieved->moveToThread(m_reportThread);
    report.retrieved = std::move(retrieved);
    report.folder = std::move(folder);
    m_reports.push_back(std::move(report));
}

void ReportQueue::flush()
{
    if (!m_reports.empty())
        m_outlet(std::exchange(m_reports, {}));
}
