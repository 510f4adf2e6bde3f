#include "sftp/sftp_request.h"

#include "engine/curl_operation.h"
#include "sftp/ssh_handshake.h"

#include <QFileInfo>

std::vector<SshLogin> sshLoginsFor(const QString &password, const QString &home, bool agent)
{
    if (!password.isEmpty())
        return {
            {CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD, QString(), QStringLiteral("password")}};
    std::vector<SshLogin> logins;
    if (agent)
        logins.push_back({CURLSSH_AUTH_AGENT, QString(), QStringLiteral("the SSH agent")});
    for (const char *name : {"id_ed25519", "id_ecdsa"}) {
        const QString path = home + QStringLiteral("/.ssh/") + QLatin1String(name);
        if (QFileInfo(path).isFile())
            logins.push_back({CURLSSH_AUTH_PUBLICKEY, path,
                              QStringLiteral("the key ~/.ssh/%1").arg(QLatin1String(name))});
    }
    // Nothing to offer: the agent's refusal says so.
    if (logins.empty())
        logins.push_back({CURLSSH_AUTH_AGENT, QString(), QStringLiteral("the SSH agent")});
    return logins;
}

long oneAttempt(long authTypes, const QString &offeredMethods)
{
    const long password = CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD;
    if ((authTypes & password) != password)
        return authTypes;
    const QStringList offered = offeredMethods.split(QLatin1Char(','), Qt::SkipEmptyParts);
    return offered.contains(QLatin1String("password")) ? authTypes & ~CURLSSH_AUTH_KEYBOARD
                                                       : authTypes & ~CURLSSH_AUTH_PASSWORD;
}

void prepareSftpRequest(CURL *easy, const OperationOrder &order, const SshLogin &login,
                        SftpRequestKind kind, const QByteArray &url)
{
    startRequest(easy, url, "sftp", order.proxy);
    allowSshOfferProbe(!order.proxy);
    // Credentials travel as options, never inside the URL.
    setOption(easy, CURLOPT_USERNAME, order.user.toUtf8().constData());
    if (!order.password.isEmpty())
        setOption(easy, CURLOPT_PASSWORD, order.password.toUtf8().constData());
    setOption(easy, CURLOPT_SSH_AUTH_TYPES, login.authTypes);
    if (!login.keyFile.isEmpty()) {
        setOption(easy, CURLOPT_SSH_PRIVATE_KEYFILE, login.keyFile.toUtf8().constData());
        // Without a public key file libssh2 derives the key from the private one.
        const QString publicKey = login.keyFile + QStringLiteral(".pub");
        if (QFileInfo(publicKey).isFile())
            setOption(easy, CURLOPT_SSH_PUBLIC_KEYFILE, publicKey.toUtf8().constData());
    }
    setOption(easy, CURLOPT_NOSIGNAL, 1L);
    const long timeout = order.timeoutSeconds;
    setOption(easy, CURLOPT_CONNECTTIMEOUT, timeout);
    switch (kind) {
    case SftpRequestKind::Stat:
        // libcurl stats the path for its time; on a folder the request then
        // ends, with nothing opened or listed.
        setOption(easy, CURLOPT_FILETIME, 1L);
        [[fallthrough]];
    case SftpRequestKind::Look:
        // SFTP commands are no transfer, so the low-speed limit does not
        // cover them: a whole-request limit does.
        setOption(easy, CURLOPT_TIMEOUT, timeout);
        setOption(easy, CURLOPT_NOBODY, 1L);
        break;
    case SftpRequestKind::Upload:
        setOption(easy, CURLOPT_UPLOAD, 1L);
        [[fallthrough]];
    case SftpRequestKind::Download:
    case SftpRequestKind::List:
    case SftpRequestKind::ListNames:
        setOption(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        setOption(easy, CURLOPT_LOW_SPEED_TIME, timeout);
        break;
    }
    if (kind == SftpRequestKind::ListNames)
        setOption(easy, CURLOPT_DIRLISTONLY, 1L);
    if (kind == SftpRequestKind::Download || kind == SftpRequestKind::Upload)
        setTransferPart(easy, order);
    // libssh2 reads and writes in pieces as large as libcurl's buffers: with
    // the defaults the client's processor limits SFTP to about half the speed.
    setOption(easy, CURLOPT_BUFFERSIZE, 512L * 1024);
    setOption(easy, CURLOPT_UPLOAD_BUFFERSIZE, 2L * 1024 * 1024);
}
