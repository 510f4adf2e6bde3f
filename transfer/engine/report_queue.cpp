#include "engine/report_queue.h"

#include "text/protocol_line.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTransfer)

void ReportQueue::setReply(qint32 code, const QString &text)
{
    m_code = code;
    m_text = text;
}

void ReportQueue::setQuiet(bool quiet)
{
    if (quiet == m_quiet)
        return;
    m_quiet = quiet;
    if (quiet) {
        m_savedCode = m_code;
        m_savedText = m_text;
    } else {
        setReply(m_savedCode, m_savedText);
    }
}

EngineReport &ReportQueue::add(EngineReport::Kind kind)
{
    if (m_quiet && kind != EngineReport::Kind::Protocol && kind != EngineReport::Kind::Protection) {
        m_dropped = EngineReport{};
        return m_dropped;
    }
    EngineReport &report = m_reports.emplace_back();
    report.kind = kind;
    return report;
}

void ReportQueue::state(TransferState state)
{
    EngineReport &report = add(EngineReport::Kind::State);
    report.state = state;
    report.code = m_code;
    report.info = m_text;
}

void ReportQueue::protocol(ProtocolEvent::Kind kind, const QString &text)
{
    qCDebug(lcTransfer, "%s %s", protocolMark(kind).data(),
            qUtf8Printable(withPasswordMasked(text)));
    add(EngineReport::Kind::Protocol).event = {now(), kind, text};
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
    EngineReport &report = add(EngineReport::Kind::Progress);
    report.done = done;
    report.total = total;
}

void ReportQueue::question(const TrustQuestion &question)
{
    add(EngineReport::Kind::Question).question = question;
}

void ReportQueue::protection(const QString &protection)
{
    add(EngineReport::Kind::Protection).protection = protection;
}

void ReportQueue::siteCheckStep(const SiteCheckStep &step)
{
    add(EngineReport::Kind::SiteCheckStep).siteCheckStep = step;
}

void ReportQueue::siteCheckProgress(const SiteCheckProgress &progress)
{
    add(EngineReport::Kind::SiteCheckProgress).siteCheckProgress = progress;
}

void ReportQueue::soakRound(const SoakRound &round)
{
    add(EngineReport::Kind::SoakRound).soakRound = round;
}

void ReportQueue::finished(bool ok, std::shared_ptr<QIODevice> retrieved,
                           std::optional<RemoteFolder> folder, const QString &doneText)
{
    if (retrieved)
        retrieved->moveToThread(m_reportThread);
    EngineReport &report = add(EngineReport::Kind::Finished);
    report.ok = ok;
    report.doneText = doneText;
    report.retrieved = std::move(retrieved);
    report.folder = std::move(folder);
}

void ReportQueue::flush()
{
    if (!m_reports.empty())
        m_outlet(std::exchange(m_reports, {}));
}
