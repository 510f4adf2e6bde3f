#include "site_check/site_check_transcript.h"

void SiteCheckTranscript::sent(const QString &command, qint64 ms)
{
    SiteCheckExchange exchange;
    exchange.command = command;
    exchange.sentMs = ms;
    m_exchanges.append(exchange);
}

void SiteCheckTranscript::replied(const FtpReply &reply, qint64 ms)
{
    // A preliminary 1xx reply is followed by the final one to the same
    // command; the final one counts.
    if (m_exchanges.isEmpty() || (m_exchanges.last().code != 0 && m_exchanges.last().code >= 200))
        m_exchanges.append(SiteCheckExchange{});
    SiteCheckExchange &exchange = m_exchanges.last();
    exchange.code = reply.code;
    exchange.text = QString(reply.text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    exchange.repliedMs = ms;
}

const SiteCheckExchange *SiteCheckTranscript::last(const QString &prefix, qsizetype from) const
{
    for (qsizetype i = m_exchanges.size() - 1; i >= from && i >= 0; --i)
        if (!m_exchanges.at(i).command.isEmpty() &&
            m_exchanges.at(i).command.startsWith(prefix, Qt::CaseInsensitive))
            return &m_exchanges.at(i);
    return nullptr;
}

const SiteCheckExchange *SiteCheckTranscript::greeting() const
{
    return !m_exchanges.isEmpty() && m_exchanges.first().command.isEmpty() ? &m_exchanges.first()
                                                                           : nullptr;
}
