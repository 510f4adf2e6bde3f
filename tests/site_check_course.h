#pragma once

// What the tests of the site checks' courses share: a book's outlets that
// keep what was reported, the order a check runs for, and its test file.
#include "site_check/site_check_book.h"
#include "site_check/site_check_sequence.h"
#include "site_check_support.h"

using Id = SiteCheckStepId;

// What a check reported, through its book's outlets.
struct Reported
{
    QList<SiteCheckStep> steps;
    QList<SiteCheckProgress> progress;

    SiteCheckBook::Outlets outlets()
    {
        return {[this](const SiteCheckStep &s) { steps << s; },
                [this](const SiteCheckProgress &p) { progress << p; }};
    }
    const SiteCheckStep *find(Id id) const
    {
        for (const SiteCheckStep &s : steps)
            if (s.id == id)
                return &s;
        return nullptr;
    }
    QString result(Id id) const
    {
        const SiteCheckStep *s = find(id);
        return s ? siteCheckResultWord(s->outcome.result) : QStringLiteral("none");
    }
    QString detail(Id id) const
    {
        const SiteCheckStep *s = find(id);
        return s ? s->outcome.detail : QString();
    }
};

inline OperationOrder order(TransferProtocol protocol, const QStringList &args = {})
{
    OperationOrder o;
    o.command = {TransferVerb::Check, args};
    o.protocol = protocol;
    o.host = QStringLiteral("files.example");
    o.port = protocol == TransferProtocol::Sftp ? 22 : 21;
    o.user = QStringLiteral("op");
    o.timeoutSeconds = 10;
    return o;
}

inline const QString FileName = QStringLiteral("sarvel-check-test.tmp");
inline const QByteArray Payload("payload\r\n\x1a");

// An FTP login's replies, up to CWD into the check's folder.
inline SiteCheckTranscript ftpLogin(int cwdCode, const QString &cwdText)
{
    SiteCheckTranscript t;
    qint64 ms = 10;
    t.replied({220, "220 Ready."}, ms);
    const QList<std::pair<QString, FtpReply>> exchanges{
        {"USER op", {331, "331 Password, please."}},
        {"PASS ****", {230, "230 Logged in."}},
        {"SYST", {215, "215 UNIX Type: L8"}},
        {"FEAT", {211, "211-Features:\n UTF8\n SIZE\n211 End"}},
        {"CWD ro", {cwdCode, QStringLiteral("%1 %2").arg(cwdCode).arg(cwdText)}},
    };
    for (const auto &[command, reply] : exchanges) {
        t.sent(command, ms += 5);
        t.replied(reply, ms += 5);
    }
    return t;
}

// What an FTP request saw beside its replies, its first exchange at `from`.
inline SiteCheckRequestFacts ftpFacts(qsizetype from = 0)
{
    SiteCheckRequestFacts f;
    f.connected = true;
    f.connectMs = 3;
    f.peer = QStringLiteral("192.0.2.7:21");
    f.from = from;
    f.elapsedMs = 20;
    return f;
}

// A command and its reply, at the end of `t`.
inline void exchange(SiteCheckTranscript &t, const QString &command, int code, const QString &text)
{
    t.sent(command, 100);
    t.replied({code, QStringLiteral("%1 %2").arg(code).arg(text)}, 110);
}
