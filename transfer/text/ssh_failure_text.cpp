#include "text/failure_text.h"

namespace {

using Phase = SshFailureFacts::Phase;

QString cutShort(const SshFailureFacts &f)
{
    const QString direction = f.upload ? QStringLiteral("to") : QStringLiteral("from");
    if (f.expected >= 0)
        return QStringLiteral("The transfer %1 %2 was cut short: %3 of %4 bytes moved")
            .arg(direction, f.server)
            .arg(f.received)
            .arg(f.expected);
    return QStringLiteral("The transfer %1 %2 was cut short after %3 bytes")
        .arg(direction, f.server)
        .arg(f.received);
}

// libssh2 1.10 offers only SHA-1 signatures for RSA keys, which OpenSSH 8.8
// and later refuse: a server whose only host key is RSA has no host-key
// algorithm in common with it.
QString keyExchangeFailed(const SshFailureFacts &f)
{
    if (f.detail.contains(QLatin1String("banner"), Qt::CaseInsensitive))
        return withFailureDetail(QStringLiteral("%1 sent no SSH greeting").arg(f.server), f.detail);
    if (!f.nothingInCommon.isEmpty())
        return QStringLiteral("The SSH key exchange with %1 failed. %2")
            .arg(f.server, f.nothingInCommon);
    return withFailureDetail(QStringLiteral("The SSH key exchange with %1 failed").arg(f.server),
                             f.detail) +
           QStringLiteral(". If the server has only an RSA host key: libssh2 cannot verify RSA "
                          "keys signed with SHA-2, which OpenSSH 8.8 and later require; an "
                          "Ed25519 or ECDSA host key works");
}

QString timedOut(const SshFailureFacts &f)
{
    const int s = f.timeoutSeconds;
    switch (f.phase) {
    case Phase::Connecting:
        return QStringLiteral("No connection to %1 within %2 s").arg(f.server).arg(s);
    case Phase::Connected:
        return QStringLiteral("%1 sent no SSH greeting or key exchange within %2 s")
            .arg(f.server)
            .arg(s);
    case Phase::KeyExchanged:
    case Phase::LoggingIn:
        return QStringLiteral("%1 did not answer the login within %2 s").arg(f.server).arg(s);
    case Phase::LoggedIn:
        return QStringLiteral("%1 did not reply to the SFTP request within %2 s")
            .arg(f.server)
            .arg(s);
    case Phase::Transferring:
        return QStringLiteral("The transfer with %1 stalled: no data for %2 s (%3 bytes moved)")
            .arg(f.server)
            .arg(s)
            .arg(f.received);
    }
    return {};
}

} // namespace

QString sshFailureText(const SshFailureFacts &f)
{
    switch (f.result) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return unresolvedHostText(f.server, f.detail);
    case CURLE_COULDNT_CONNECT:
        if (f.refused)
            return closedPortText(f.server);
        return connectFailedText(f.server, f.detail);
    case CURLE_OPERATION_TIMEDOUT:
        return timedOut(f);
    case CURLE_PEER_FAILED_VERIFICATION:
        return withFailureDetail(
            QStringLiteral("The host key of %1 was refused; nothing of the account "
                           "was sent")
                .arg(f.server),
            f.detail);
    case CURLE_LOGIN_DENIED:
        return QStringLiteral("%1 refused the login (%2)").arg(f.server, f.login);
    case CURLE_PARTIAL_FILE:
        return cutShort(f);
    default:
        break;
    }
    if (f.phase == Phase::Transferring)
        return withFailureDetail(cutShort(f), f.detail);
    // libssh2's handshake failed: the connection was up, whatever was seen of it.
    if (f.phase <= Phase::Connected && f.detail.startsWith(QLatin1String("Failure establishing")))
        return keyExchangeFailed(f);
    if (f.phase == Phase::Connected)
        return f.detail.isEmpty() ? QStringLiteral("%1 closed the connection without an SSH "
                                                   "greeting")
                                        .arg(f.server)
                                  : keyExchangeFailed(f);
    if (f.phase >= Phase::LoggedIn && f.detail.isEmpty())
        return QStringLiteral("%1 closed the connection").arg(f.server);
    return withFailureDetail(QStringLiteral("The operation on %1 failed").arg(f.server), f.detail);
}

QString hostKeyChangedText(const QString &server, const QString &keyType,
                           const QString &fingerprint, const QString &knownHostsName,
                           bool inKnownHosts)
{
    const QString known = inKnownHosts ? QStringLiteral("the key ~/.ssh/known_hosts holds for it")
                                       : QStringLiteral("the key trusted for it this session");
    QString text = QStringLiteral("The host key of %1 has changed: it shows %2 %3, not %4. "
                                  "Nothing of the account was sent.")
                       .arg(server, keyType, fingerprint, known);
    if (inKnownHosts)
        text += QStringLiteral(" If the change is expected, clear the old key with "
                               "ssh-keygen -R '%1' and connect again.")
                    .arg(knownHostsName);
    else
        text += QStringLiteral(" If the change is expected, close the window and connect again.");
    return text;
}

QString sshHandshakeMissingText(const QString &server)
{
    return QStringLiteral("Cannot start SSH with %1: Sarvel could not find the handshake of the "
                          "libssh2 library it runs with, so no SSH login can work. Reinstall "
                          "libssh2 (the libssh2-1 package) and start Sarvel again.")
        .arg(server);
}
