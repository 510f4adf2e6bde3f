#include "text/failure_text.h"

#include "text/certificate_problems.h"
#include "text/state_text.h"

#include <QLocale>

QString withFailureDetail(const QString &text, const QString &detail)
{
    return detail.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, detail);
}

QString unresolvedHostText(const QString &server, const QString &detail)
{
    return withFailureDetail(
        QStringLiteral("Cannot find the server %1: its name does not resolve").arg(server), detail);
}

QString connectFailedText(const QString &server, const QString &detail)
{
    return withFailureDetail(QStringLiteral("Cannot connect to %1").arg(server), detail);
}

QString closedPortText(const QString &server)
{
    const qsizetype colon = server.lastIndexOf(QLatin1Char(':'));
    return QStringLiteral("Nothing accepts connections on %1 port %2: the server is not running, "
                          "or it listens on another port")
        .arg(server.left(colon), server.mid(colon + 1));
}

QString refusalText(const TransferCommand &command, qint32 code, const QString &reply)
{
    const QString verb = transferVerbName(command.verb);
    const QString said = QStringLiteral(" (%1)").arg(reply);
    if (command.verb == TransferVerb::Put)
        return QStringLiteral("PUT to %1 refused").arg(uploadRemoteName(command)) + said;
    // A download is named by its remote file; where it was to go is no news.
    const bool download = command.verb == TransferVerb::Get || command.verb == TransferVerb::Reget;
    const QStringList names = download ? command.args.mid(0, 1) : command.args;
    const QString refused = (QStringList{verb} + names).join(QLatin1Char(' '));
    // 550: the file or folder is not there, or not open to this account.
    if (code == 550) {
        switch (command.verb) {
        case TransferVerb::Get:
        case TransferVerb::Reget:
        case TransferVerb::Size:
        case TransferVerb::Delete:
            return refused + QStringLiteral(": no such file on the server") + said;
        case TransferVerb::Cd:
        case TransferVerb::Rmdir:
        case TransferVerb::Dir:
        case TransferVerb::Ls:
            if (!command.args.isEmpty())
                return refused + QStringLiteral(": no such folder on the server") + said;
            break;
        default:
            break;
        }
    }
    return refused + QStringLiteral(" refused") + said;
}

namespace {

QString cutShort(const FailureFacts &f)
{
    if (f.expected >= 0)
        return QStringLiteral("The transfer from %1 was cut short: %2 of %3 bytes received")
            .arg(f.server)
            .arg(f.received)
            .arg(f.expected);
    return QStringLiteral("The transfer from %1 was cut short after %2 bytes")
        .arg(f.server)
        .arg(f.received);
}

QString timedOut(const FailureFacts &f)
{
    if (!f.connected)
        return QStringLiteral("No connection to %1 within %2 s")
            .arg(f.server)
            .arg(f.timeoutSeconds);
    if (!f.greeted)
        return QStringLiteral("%1 sent no greeting within %2 s")
            .arg(f.server)
            .arg(f.timeoutSeconds);
    if (f.dataFlowing)
        return QStringLiteral("The transfer from %1 stalled: no data for %2 s (%3 bytes received)")
            .arg(f.server)
            .arg(f.timeoutSeconds)
            .arg(f.received);
    if (!f.dataAddress.isEmpty() && f.lastCode >= 200 && f.lastCode < 300 &&
        f.detail.contains(QLatin1String("connect"), Qt::CaseInsensitive))
        return QStringLiteral("Cannot open the data connection to %1 within %2 s")
            .arg(f.dataAddress)
            .arg(f.timeoutSeconds);
    const QString after =
        f.lastCommand.isEmpty() ? QString() : QStringLiteral(" to %1").arg(f.lastCommand);
    return QStringLiteral("%1 did not reply%2 within %3 s")
        .arg(f.server, after)
        .arg(f.timeoutSeconds);
}

} // namespace

QString failureText(const FailureFacts &f)
{
    switch (f.result) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return unresolvedHostText(f.server, f.detail);
    case CURLE_COULDNT_CONNECT:
        if (f.connected && !f.dataAddress.isEmpty())
            return withFailureDetail(
                QStringLiteral("Cannot open the data connection to %1").arg(f.dataAddress),
                f.detail);
        if (f.refused)
            return closedPortText(f.server);
        return connectFailedText(f.server, f.detail);
    case CURLE_OPERATION_TIMEDOUT:
        return timedOut(f);
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
        return withFailureDetail(QStringLiteral("Cannot open the data connection to %1")
                                     .arg(f.dataAddress.isEmpty() ? f.server : f.dataAddress),
                                 f.detail);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_OUT_OF_MEMORY:
        return withFailureDetail(
            QStringLiteral("The reply from %1 is too long or malformed").arg(f.server), f.detail);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return withFailureDetail(QStringLiteral("The TLS handshake with %1 failed").arg(f.server),
                                 f.detail);
    case CURLE_USE_SSL_FAILED:
        // After the login, the refusal was of PROT P: the data stays unsent
        // rather than travel in clear.
        if (f.lastCommand.startsWith(QLatin1String("PROT ")))
            return QStringLiteral("%1 refused to encrypt the data connections (%2); nothing "
                                  "was sent or received in clear")
                .arg(f.server, f.lastReply);
        return QStringLiteral("%1 does not offer encryption").arg(f.server);
    case CURLE_LOGIN_DENIED: {
        const bool needsTls = f.lastReply.contains(QLatin1String("encrypt"), Qt::CaseInsensitive) ||
                              f.lastReply.contains(QLatin1String("SSL")) ||
                              f.lastReply.contains(QLatin1String("TLS"));
        return QStringLiteral("%1 refused the login: %2%3")
            .arg(f.server, f.lastReply,
                 needsTls ? QStringLiteral(" (the server requires TLS)") : QString());
    }
    case CURLE_PARTIAL_FILE:
        return cutShort(f);
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
        // libcurl's own limit on what one reply may hold.
        if (f.detail.contains(QLatin1String("Too large response")))
            return withFailureDetail(
                QStringLiteral("The reply from %1 is too long or malformed").arg(f.server),
                f.detail);
        if (!f.greeted)
            return withFailureDetail(
                QStringLiteral("%1 closed the connection without a greeting").arg(f.server),
                f.detail);
        if (f.dataFlowing || f.received > 0)
            return withFailureDetail(cutShort(f), f.detail);
        return withFailureDetail(QStringLiteral("The connection to %1 failed").arg(f.server),
                                 f.detail);
    default:
        return withFailureDetail(QStringLiteral("The operation on %1 failed").arg(f.server),
                                 f.detail);
    }
}

QString localFileFailure(LocalAction action, const QString &path, const QString &why)
{
    if (action == LocalAction::MakeTemporary)
        return QStringLiteral("Cannot make a temporary file for the retrieved data: %1").arg(why);
    if (path.isEmpty())
        return QStringLiteral("Cannot write the retrieved data: %1").arg(why);
    static const char *const verbs[] = {"read", "write", "send"};
    return QStringLiteral("Cannot %1 the local file %2: %3")
        .arg(QLatin1String(verbs[int(action)]), path, why);
}

QString malformedReplyText(const QString &server, const QString &why)
{
    return QStringLiteral("The reply from %1 is too long or malformed (%2)").arg(server, why);
}

QString incompleteUploadText(qint64 serverSize, qint64 localSize, const QString &path)
{
    return QStringLiteral("The upload is incomplete: the server holds %1 bytes of the %2 bytes "
                          "of %3.")
        .arg(serverSize)
        .arg(localSize)
        .arg(path);
}

QString unconfirmedUploadText(qint64 bytes, int seconds)
{
    return QStringLiteral("all %1 bytes were sent; the server did not confirm the upload within "
                          "%2 s")
        .arg(QLocale(QLocale::English, QLocale::UnitedStates).toString(bytes))
        .arg(seconds);
}

QString unconfirmedUploadText(const TransferCommand &command, qint64 bytes, int seconds)
{
    return QStringLiteral("PUT to %1: %2")
        .arg(uploadRemoteName(command), unconfirmedUploadText(bytes, seconds));
}

QString declinedTrustText(const TrustQuestion &question)
{
    const QString server = question.host + QLatin1Char(':') + QString::number(question.port);
    switch (question.kind) {
    case TrustQuestion::Kind::Certificate:
        return QStringLiteral("The certificate of %1 was not trusted (%2); nothing of the account "
                              "was sent.")
            .arg(server, certificateProblems(question).join(QStringLiteral("; ")));
    case TrustQuestion::Kind::ClearText:
        return QStringLiteral("%1 does not offer encryption, and the account was not sent in "
                              "clear text.")
            .arg(question.host);
    case TrustQuestion::Kind::HostKey:
        return QStringLiteral("The host key of %1 was not trusted; nothing of the account was "
                              "sent.")
            .arg(server);
    }
    return {};
}

QString unreadableCertificateText(const QString &server)
{
    return QStringLiteral("The certificate of %1 could not be read; nothing of the account was "
                          "sent.")
        .arg(server);
}

QString internalFaultText()
{
    return QStringLiteral("The command stopped on a fault of Sarvel's own, not of the server; "
                          "the protocol log has the details. Run the command again: it starts "
                          "afresh. If the fault comes back, restart Sarvel.");
}
