#pragma once

#include "engine/engine_messages.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTime>

#include <functional>

// Everything the engine has to say, in order: queued while libcurl runs its
// callbacks and handed to the facade in one batch after each call into
// libcurl. It holds the server reply that every state report carries.
class ReportQueue final
{
public:
    using Outlet = std::function<void(EngineReports &&reports)>;

    // Retrieved data is handed over to `reportThread`, where GetChunk reads it.
    ReportQueue(Outlet outlet, QThread *reportThread)
        : m_outlet(std::move(outlet)), m_reportThread(reportThread)
    {}

    // The reply behind the states that follow: the server's last, or a
    // failure of this side (code 0).
    void setReply(qint32 code, const QString &text);
    qint32 replyCode() const { return m_code; }
    const QString &replyText() const { return m_text; }

    void state(TransferState state);
    void protocol(ProtocolEvent::Kind kind, const QString &text);
    void progress(qint64 done, qint64 total);
    void question(const TrustQuestion &question);
    void protection(const QString &protection);
    void siteCheckStep(const SiteCheckStep &step);
    void siteCheckProgress(const SiteCheckProgress &progress);
    void soakRound(const SoakRound &round);
    void finished(bool ok, std::shared_ptr<QIODevice> retrieved = {},
                  std::optional<RemoteFolder> folder = {}, const QString &doneText = {});

    void flush();
    void clear() { m_reports.clear(); }
    // While quiet, only protocol lines and the login's protection go out:
    // a request of the engine's own (a keepalive) changes no state, reply
    // or outcome the operator sees, and the reply before it is back after.
    void setQuiet(bool quiet);

private:
    // The local time of a protocol line, to the millisecond. Each reading
    // of the local time looks at the time zone file again (glibc's tzset),
    // which took most of the log's share of the engine's time on a run of
    // small files; so it is read once a second, and the monotonic clock
    // counts on from there.
    QTime now();
    // A new report of `kind` at the end of the queue.
    EngineReport &add(EngineReport::Kind kind);

    Outlet m_outlet;
    QThread *m_reportThread;
    EngineReports m_reports;
    bool m_quiet = false;
    EngineReport m_dropped; // what a quiet queue says to no one
    qint32 m_savedCode = 0;
    QString m_savedText;
    qint32 m_code = 0;
    QString m_text;
    QTime m_anchor;
    QElapsedTimer m_sinceAnchor;
};
