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
// that begins with a code, three ASCII digits the first of them 1 to 5; a
// multi-line reply runs from "ddd-" to "ddd " with the same code. Lines
// outside a reply that carry no code are ignored.
//
// A server that never ends a reply, or sends one line without end, must not
// grow memory without bound: a reply past MaxLines lines or MaxChars
// characters is malformed. error() then says so, and further lines are
// ignored until reset().
class FtpReplyAssembler final
{
public:
    static constexpr int MaxLines = 1000;
    static constexpr qsizetype MaxChars = 64 * 1024;

    // Takes one line without its line end; returns the reply it completes.
    std::optional<FtpReply> addLine(const QString &line);
    // Whether a multi-line reply has begun and not yet ended.
    bool inReply() const { return !m_code.isEmpty(); }
    // Why the reply under way was given up, once it broke a limit.
    std::optional<QString> error() const { return m_error; }
    void reset();

private:
    QString m_code;
    QStringList m_lines;
    qsizetype m_chars = 0;
    std::optional<QString> m_error;
};

// The data port a passive-mode reply names: the port of "227 Entering
// Passive Mode (h1,h2,h3,h4,p1,p2)" or of "229 Entering Extended Passive
// Mode (|||port|)"; nothing for any other reply or a port outside 1 to 65535.
std::optional<int> passivePort(const FtpReply &reply);
