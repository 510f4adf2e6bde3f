#include "ftp_reply.h"

namespace {

bool startsWithCode(const QString &line)
{
    return line.size() >= 3 && line.at(0).isDigit() && line.at(1).isDigit() &&
           line.at(2).isDigit() &&
           (line.size() == 3 || line.at(3) == QLatin1Char(' ') || line.at(3) == QLatin1Char('-'));
}

} // namespace

std::optional<FtpReply> FtpReplyAssembler::addLine(const QString &line)
{
    if (m_code.isEmpty()) {
        if (!startsWithCode(line))
            return std::nullopt;
        m_code = line.left(3);
    }
    m_lines.append(line);
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
}
