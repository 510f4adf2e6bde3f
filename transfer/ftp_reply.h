#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// A complete server reply: its three-digit code and its lines joined by CR LF.
struct FtpReply
{
    int code = 0;
    QString text;
};

// Puts server reply lines together into replies. A reply starts with a line
// that begins with a three-digit code; a multi-line reply runs from "ddd-" to
// "ddd ". Lines outside a reply that carry no code are ignored.
class FtpReplyAssembler final
{
public:
    // Takes one line without its line end; returns the reply it completes.
    std::optional<FtpReply> addLine(const QString &line);
    // Whether a multi-line reply has begun and not yet ended.
    bool inReply() const { return !m_code.isEmpty(); }
    void reset();

private:
    QString m_code;
    QStringList m_lines;
};
