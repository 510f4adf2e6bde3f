#include "text/idle_text.h"

#include <QtGlobal>

QString keepaliveText(int seconds, bool changed)
{
    if (seconds <= 0)
        return changed ? QStringLiteral("Keepalive off: an idle login is left alone until the "
                                        "next command")
                       : QStringLiteral("Keepalive is off; KEEPALIVE SECONDS turns it on");
    const QString what =
        QStringLiteral("a NOOP (SFTP: a stat of the current folder) every %1 s while the login "
                       "is idle%2")
            .arg(seconds)
            .arg(seconds == DefaultKeepaliveSeconds ? QStringLiteral(" (the default)") : QString());
    if (changed)
        return QStringLiteral("Keepalive: %1").arg(what);
    return QStringLiteral("Keepalive: %1; KEEPALIVE SECONDS or KEEPALIVE OFF changes it").arg(what);
}

int nextIdleWait(int previous, int first, int max)
{
    if (previous <= 0)
        return qMin(first, max);
    if (previous >= max)
        return 0;
    return qMin(previous * 2, max);
}

int recommendedKeepalive(const IdleFinding &finding)
{
    const int base = finding.survived > 0 ? finding.survived : finding.cutAfter / 2;
    int seconds = base * 3 / 4;
    if (seconds >= 10)
        seconds -= seconds % 5;
    return qMax(1, seconds);
}

namespace {

// "by a connection reset (no reply from the server): something on the path
// drops idle connections".
QString cutText(const IdleFinding &finding)
{
    switch (finding.cut) {
    case IdleCut::Reply:
        return QStringLiteral("by the server's reply \"%1\": the server ends idle logins")
            .arg(finding.reply);
    case IdleCut::Closed:
        return QStringLiteral("by the server closing the connection without a reply: the server "
                              "or something on the path ends idle connections");
    case IdleCut::Reset:
        return QStringLiteral("by a connection reset (no reply from the server): something on "
                              "the path drops idle connections");
    case IdleCut::Silence:
        return QStringLiteral("by silence (no reply within %1 s): something on the path drops "
                              "idle connections without a word")
            .arg(finding.timeoutSeconds);
    case IdleCut::None:
        break;
    }
    return {};
}

} // namespace

QString idleFindingText(const IdleFinding &finding)
{
    if (finding.cut == IdleCut::None)
        return QStringLiteral("survived %1 s idle: no keepalive needed up to %2 s")
            .arg(finding.survived)
            .arg(finding.max);
    const QString survived = finding.survived > 0
                                 ? QStringLiteral("survived %1 s idle; ").arg(finding.survived)
                                 : QString();
    return QStringLiteral("%1cut after %2 s idle %3; KEEPALIVE %4 keeps logins open")
        .arg(survived)
        .arg(finding.cutAfter)
        .arg(cutText(finding))
        .arg(recommendedKeepalive(finding));
}

QString idleStoppedText(const IdleFinding &finding)
{
    if (finding.survived <= 0)
        return QStringLiteral("Stopped by the operator before the first wait ended: nothing "
                              "learned yet");
    return QStringLiteral("Stopped by the operator: survived %1 s idle so far, with no cut seen")
        .arg(finding.survived);
}

QString idleProgressText(int idle, int wait, int max)
{
    return QStringLiteral("idle %1 s of %2 s, up to %3 s").arg(idle).arg(wait).arg(max);
}
