#include "sftp_bench_server.h"

#include <QDir>
#include <QRegularExpression>

SftpBenchServer::~SftpBenchServer()
{
    m_sshd.stop();
    if (m_homeSet)
        qputenv("HOME", m_formerHome);
}

bool SftpBenchServer::fail(const QString &why)
{
    m_error = why;
    return false;
}

bool SftpBenchServer::start(const QString &served, const QString &home)
{
    // DEBUG is the level at which sshd names the ciphers it agreed on.
    if (!m_sshd.start(served, QStringLiteral("DEBUG")))
        return fail(m_sshd.errorString());
    if (!writeHome(home))
        return false;
    m_endpoint.protocol = Protocol::Sftp;
    m_endpoint.port = m_sshd.port();
    m_endpoint.user = SshdProcess::userName();
    // libssh2 1.10 takes the ECDSA host key over the ed25519 one.
    m_endpoint.hostKeySha256 = hostPubSha256(m_sshd.hostEcdsaKey().fingerprint);
    return true;
}

bool SftpBenchServer::writeHome(const QString &home)
{
    const QDir ssh(home + QStringLiteral("/.ssh"));
    if (!ssh.mkpath(QStringLiteral(".")))
        return fail(QStringLiteral("cannot make %1").arg(ssh.path()));
    m_endpoint.keyPath = ssh.filePath(QStringLiteral("id_ed25519"));
    m_endpoint.knownHostsPath = ssh.filePath(QStringLiteral("known_hosts"));
    const SshKey &client = m_sshd.clientKey();
    const QString pub = QStringLiteral(".pub");
    QByteArray knownHosts;
    for (const SshKey *key : {&m_sshd.hostEcdsaKey(), &m_sshd.hostEd25519Key()})
        knownHosts += QStringLiteral("[127.0.0.1]:%1 %2\n")
                          .arg(m_sshd.port())
                          .arg(key->publicLine())
                          .toUtf8();
    // OpenSSH refuses a private key others may read.
    if (!QFile::copy(client.path, m_endpoint.keyPath) ||
        !QFile::setPermissions(m_endpoint.keyPath, QFile::ReadOwner | QFile::WriteOwner) ||
        !QFile::copy(client.path + pub, m_endpoint.keyPath + pub) ||
        !writeFile(m_endpoint.knownHostsPath, knownHosts))
        return fail(QStringLiteral("cannot write the key files under %1").arg(ssh.path()));
    m_formerHome = qgetenv("HOME");
    m_homeSet = qputenv("HOME", QFile::encodeName(home));
    return m_homeSet || fail(QStringLiteral("cannot set HOME"));
}

QString SftpBenchServer::negotiatedCipher() const
{
    static const QRegularExpression kex(QStringLiteral("kex: client->server cipher: (\\S+)"));
    QString cipher;
    for (auto match = kex.globalMatch(m_sshd.log()); match.hasNext();)
        cipher = match.next().captured(1);
    return cipher;
}
