#pragma once

#include "text/protocol/ftp_reply.h"

#include <QList>
#include <QString>
#include <QStringList>

// One command of a site check and the reply it met; the greeting is the
// reply to no command.
struct SiteCheckExchange
{
    QString command; // as sent, the password masked
    int code = 0;    // 0 while no reply has come
    QString text;    // the reply, its lines joined by "\n"
    qint64 sentMs = -1;
    qint64 repliedMs = -1;

    QStringList lines() const { return text.split(QLatin1Char('\n')); }
    // The reply's last line, code and all ("213 20260101120000").
    QString lastLine() const { return lines().constLast(); }
    // The last line's words after the code.
    QString words() const { return lastLine().mid(4); }
    qint64 elapsedMs() const
    {
        return sentMs >= 0 && repliedMs >= sentMs ? repliedMs - sentMs : -1;
    }
};

// The conversation of a site check, command by command, in order: each step
// reads the replies it is decided on from here.
class SiteCheckTranscript final
{
public:
    void sent(const QString &command, qint64 ms);
    // A complete reply: to the last command sent, or the greeting.
    void replied(const FtpReply &reply, qint64 ms);

    // The last exchange whose command starts with `prefix` ("PASS", "SIZE "),
    // at or after `from`; nullptr when there is none.
    const SiteCheckExchange *last(const QString &prefix, qsizetype from = 0) const;
    const SiteCheckExchange *greeting() const;
    qsizetype size() const { return m_exchanges.size(); }

private:
    QList<SiteCheckExchange> m_exchanges;
};
