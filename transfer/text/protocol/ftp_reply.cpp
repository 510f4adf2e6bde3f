#include "text/protocol/ftp_reply.h"

namespace {

// QChar::isDigit would take any script's digits ("٢٢٦"); a reply code is ASCII.
bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool startsWithCode(const QString &line)
{
    return line.size() >= 3 && line.at(0) >= QLatin1Char('1') && line.at(0) <= QLatin1Char('5') &&
           isAsciiDigit(line.at(1)) && isAsciiDigit(line.at(2)) &&
           (line.size() == 3 || line.at(3) == QLatin1Char(' ') || line.at(3) == QLatin1Char('-'));
}

} // namespace

std::optional<FtpReply> FtpReplyAssembler::addLine(const QString &line)
{
    if (m_error)
        return std::nullopt;
    if (m_code.isEmpty()) {
        if (!startsWithCode(line))
            return std::nullopt;
        m_code = line.left(3);
    }
    if (m_lines.size() >= MaxLines || line.size() > MaxChars - m_chars) {
        const QString code = m_code;
        reset();
        m_error = QStringLiteral("The server's %1 reply runs past %2 lines or %3 KiB.")
                      .arg(code)
                      .arg(MaxLines)
                      .arg(MaxChars / 1024);
        return std::nullopt;
    }
    m_lines.append(line);
    m_chars += line.size();
    const bool last =
        line.startsWith(m_code) && (line.size() == 3 || line.at(3) == QLatin1Char(' '));
    if (!last)
        return std::nullopt;
    FtpReply reply{m_code.toInt(), m_lines.join(QStringLiteral("\r\n"))};
    reset();
    return reply;
}

void FtpReplyAssembler::reset()
{
    m_code.clear();
    m_lines.clear();
    m_chars = 0;
    m_error.reset();
}

std::optional<int> passivePort(const FtpReply &reply)
{
    if (reply.code != 227 && reply.code != 229)
        return std::nullopt;
    const qsizetype open = reply.text.indexOf(QLatin1Char('('));
    const qsizetype close = reply.text.indexOf(QLatin1Char(')'), open + 1);
    if (open < 0 || close < 0)
        return std::nullopt;
    const QString inside = reply.text.mid(open + 1, close - open - 1);
    bool ok = false;
    int port = 0;
    if (reply.code == 229) {
        // "|||port|": the delimiter may be any character, the same four times.
        if (inside.size() < 5 || inside.count(inside.front()) != 4 ||
            !inside.endsWith(inside.front()))
            return std::nullopt;
        port = inside.mid(3, inside.size() - 4).toInt(&ok);
    } else {
        const QStringList parts = inside.split(QLatin1Char(','));
        if (parts.size() != 6)
            return std::nullopt;
        bool high = false;
        bool low = false;
        const int p1 = parts.at(4).trimmed().toInt(&high);
        const int p2 = parts.at(5).trimmed().toInt(&low);
        ok = high && low && p1 >= 0 && p1 < 256 && p2 >= 0 && p2 < 256;
        port = p1 * 256 + p2;
    }
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}
