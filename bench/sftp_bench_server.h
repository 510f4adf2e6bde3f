#pragma once

#include "ssh_server_process.h"
#include "transfer_clients.h"

// OpenSSH's sshd serving a folder over SFTP to the transfer benchmark, and a
// home folder set up as an operator's would be: the client key as
// ~/.ssh/id_ed25519 and the server's host keys in ~/.ssh/known_hosts. HOME
// points there while this lives, so the component finds both without being
// told and asks no question.
class SftpBenchServer final
{
    Q_DISABLE_COPY_MOVE(SftpBenchServer)
public:
    SftpBenchServer() = default;
    ~SftpBenchServer();

    // Sessions start in `served`; `home` is made the home folder. False,
    // with errorString() saying why, when either fails.
    bool start(const QString &served, const QString &home);

    // The login, the key files and the pinned host key; the cipher is left
    // for negotiatedCipher() to tell once a libssh2 client has logged in.
    Endpoint endpoint() const { return m_endpoint; }
    // The cipher the last connection used from client to server, as sshd
    // logged it; empty when none is logged.
    QString negotiatedCipher() const;
    QString errorString() const { return m_error; }

private:
    bool writeHome(const QString &home);
    bool fail(const QString &why);

    SshdProcess m_sshd;
    Endpoint m_endpoint;
    QByteArray m_formerHome;
    bool m_homeSet = false;
    QString m_error;
};
