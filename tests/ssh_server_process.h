#pragma once

#include "server_greeting.h"

#include "ftp_server_process.h"
#include "test_files.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUuid>

#include <pwd.h>
#include <unistd.h>

// Runs a program to its end: its standard output, or a null array (and the
// reason in `error`) when it could not run or failed.
inline QByteArray runTool(const QString &program, const QStringList &arguments,
                          QString *error = nullptr)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("%1 %2 failed: %3 %4")
                         .arg(program, arguments.join(QLatin1Char(' ')), tool.errorString(),
                              QString::fromLocal8Bit(tool.readAllStandardError()));
        return {};
    }
    const QByteArray output = tool.readAllStandardOutput();
    return output.isNull() ? QByteArray("") : output;
}

// A key pair made by OpenSSH's ssh-keygen, with what OpenSSH says of it.
struct SshKey
{
    QString path; // the private key; the public one is path + ".pub"
    QString type; // as the public key file names it
    QByteArray blob;
    QString fingerprint; // as `ssh-keygen -lf` prints it
    QString publicLine() const
    {
        return type + QLatin1Char(' ') + QString::fromLatin1(blob.toBase64());
    }
};

// Reads what OpenSSH says of the key pair at `path`; false when it cannot.
inline bool describeSshKey(const QString &path, SshKey *key, QString *error = nullptr)
{
    const QList<QByteArray> fields =
        readFile(path + QStringLiteral(".pub")).simplified().split(' ');
    const QList<QByteArray> listed =
        runTool(QStringLiteral("ssh-keygen"),
                {QStringLiteral("-lf"), path + QStringLiteral(".pub")}, error)
            .simplified()
            .split(' ');
    if (fields.size() < 2 || listed.size() < 2)
        return false;
    key->path = path;
    key->type = QString::fromLatin1(fields.at(0));
    key->blob = QByteArray::fromBase64(fields.at(1));
    key->fingerprint = QString::fromLatin1(listed.at(1));
    return true;
}

// A new key pair of `type` ("ed25519", "ecdsa") at `path`, without a passphrase.
inline bool makeSshKey(const QString &path, const QString &type, SshKey *key,
                       QString *error = nullptr)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".pub"));
    return !runTool(QStringLiteral("ssh-keygen"),
                    {"-q", "-t", type, "-N", "", "-C", "sarvel-test", "-f", path}, error)
                .isNull() &&
           describeSshKey(path, key, error);
}

// The fingerprint's hash alone, as curl's --hostpubsha256 takes it.
inline QString hostPubSha256(const QString &fingerprint)
{
    return fingerprint.section(QLatin1Char(':'), 1);
}

inline int freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// OpenSSH's sshd on a free loopback port, for as long as this lives: its own
// host keys (ed25519 and ECDSA, made now), the internal SFTP server, and key
// logins only, for the user the tests run as, with a client key made now.
// Everything it reads and writes lies in a temporary folder; the machine's
// own sshd and its configuration play no part.
class SshdProcess final
{
    Q_DISABLE_COPY_MOVE(SshdProcess)
public:
    SshdProcess() = default;
    ~SshdProcess() { stop(); }

    // False, with errorString() saying why, when sshd did not come up.
    // SFTP sessions start in `startFolder` when one is given, so names taken
    // against the login folder (curl's "/~/") name its files. Log level DEBUG
    // adds, among much else, the ciphers each connection negotiated.
    bool start(const QString &startFolder = {}, const QString &logLevel = QStringLiteral("VERBOSE"))
    {
        stop();
        m_startFolder = startFolder;
        m_logLevel = logLevel;
        if (!m_dir.isValid())
            return fail(QStringLiteral("no temporary folder"));
        QString error;
        if (!makeSshKey(path("host_ed25519"), QStringLiteral("ed25519"), &m_hostEd25519, &error) ||
            !makeSshKey(path("host_ecdsa"), QStringLiteral("ecdsa"), &m_hostEcdsa, &error) ||
            (m_rsaOnly &&
             !makeSshKey(path("host_rsa"), QStringLiteral("rsa"), &m_hostRsa, &error)) ||
            !makeSshKey(path("client_ed25519"), QStringLiteral("ed25519"), &m_client, &error))
            return fail(error);
        if (!writeFile(path("authorized_keys"), m_client.publicLine().toUtf8() + '\n'))
            return fail(QStringLiteral("cannot write authorized_keys"));
        // sshd checks for its privilege separation folder before anything else.
        QDir().mkpath(QStringLiteral("/run/sshd"));
        // Another program may take the port between its probe and sshd's
        // bind; sshd then exits, and another port is tried.
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = freeLoopbackPort();
            if (m_port > 0 && launch())
                return true;
        }
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // From the next start on: the SFTP server refuses every change
    // (internal-sftp -R), with "permission denied".
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // From the next start on: the only host key is RSA, offered with SHA-2
    // signatures only, as OpenSSH 8.8 and later do by default.
    void setRsaSha2Only(bool rsaOnly) { m_rsaOnly = rsaOnly; }
    int port() const { return m_port; }
    static QString userName()
    {
        const passwd *user = ::getpwuid(::geteuid());
        return user ? QString::fromLocal8Bit(user->pw_name) : QString();
    }
    const SshKey &clientKey() const { return m_client; }
    const SshKey &hostEd25519Key() const { return m_hostEd25519; }
    const SshKey &hostEcdsaKey() const { return m_hostEcdsa; }
    QString errorString() const { return m_error; }
    // Everything sshd logged, at level VERBOSE unless told otherwise:
    // connections, each key offered, each login accepted or refused, and the
    // SFTP requests.
    QString log() const { return QString::fromUtf8(readFile(path("sshd.log"))); }

private:
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    bool fail(const QString &why)
    {
        m_error = why;
        return false;
    }

    bool launch()
    {
        m_token = QUuid::createUuid().toString(QUuid::Id128);
        const QStringList lines{
            QStringLiteral("ListenAddress 127.0.0.1:%1").arg(m_port),
            QStringLiteral("PidFile %1").arg(path("sshd.pid")),
            QStringLiteral("AuthorizedKeysFile %1").arg(path("authorized_keys")),
            "PermitRootLogin prohibit-password",
            "PubkeyAuthentication yes",
            "PasswordAuthentication no",
            "KbdInteractiveAuthentication no",
            "UsePAM no",
            // The temporary folder's modes are not sshd's business here.
            "StrictModes no",
            QStringLiteral("Subsystem sftp internal-sftp -l VERBOSE%1%2")
                .arg(m_startFolder.isEmpty() ? QString() : QStringLiteral(" -d ") + m_startFolder,
                     m_readOnly ? QStringLiteral(" -R") : QString()),
            QStringLiteral("LogLevel %1").arg(m_logLevel),
            // In the greeting, so another server on the port is not taken for this one.
            QStringLiteral("VersionAddendum %1").arg(m_token),
        };
        const QStringList hostKeys =
            m_rsaOnly ? QStringList{QStringLiteral("HostKey %1").arg(m_hostRsa.path),
                                    "HostKeyAlgorithms rsa-sha2-512,rsa-sha2-256"}
                      : QStringList{QStringLiteral("HostKey %1").arg(m_hostEd25519.path),
                                    QStringLiteral("HostKey %1").arg(m_hostEcdsa.path)};
        if (!writeFile(path("sshd_config"),
                       (lines + hostKeys).join(QLatin1Char('\n')).toUtf8() + '\n'))
            return fail(QStringLiteral("cannot write sshd_config"));
        QFile::remove(path("sshd.log"));
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        // sshd re-executes itself, which needs its absolute path.
        m_process.start(QStringLiteral("/usr/sbin/sshd"),
                        {QStringLiteral("-D"), QStringLiteral("-f"), path("sshd_config"),
                         QStringLiteral("-E"), path("sshd.log")});
        if (!m_process.waitForStarted())
            return fail(QStringLiteral("/usr/sbin/sshd: %1 (Debian package openssh-server)")
                            .arg(m_process.errorString()));
        if (greeted())
            return true;
        stop();
        return fail(QStringLiteral("sshd did not come up on port %1: %2").arg(m_port).arg(log()));
    }

    bool greeted() { return greetsOnPort(m_process, m_port, "SSH-2.0-", m_token.toLatin1()); }

    QTemporaryDir m_dir;
    QProcess m_process;
    SshKey m_hostEd25519;
    SshKey m_hostEcdsa;
    SshKey m_hostRsa;
    SshKey m_client;
    QString m_token;
    QString m_error;
    QString m_startFolder;
    QString m_logLevel;
    bool m_readOnly = false;
    bool m_rsaOnly = false;
    int m_port = 0;
};

// scripts/sftp_server.py (asyncssh) on a free loopback port, for as long as
// this lives: one account with a password, confined to one folder, with an
// ed25519 host key it makes in a temporary folder.
class SftpServerProcess final
{
    Q_DISABLE_COPY_MOVE(SftpServerProcess)
public:
    SftpServerProcess() = default;
    ~SftpServerProcess()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    enum class Reads { Answer, Stall };
    // False when the server did not come up (no python3-asyncssh, say).
    // With Reads::Stall no file read is ever answered.
    bool start(const QString &root, const QString &user, const QString &password,
               Reads reads = Reads::Answer)
    {
        const QString demo = QStringLiteral(SARVEL_SCRIPTS_DIR "/sftp_server.py");
        const QStringList program =
            reads == Reads::Answer
                ? QStringList{demo}
                : QStringList{QStringLiteral(SARVEL_TESTS_DIR "/stalling_sftp_server.py"), demo};
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        program + QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                                              QStringLiteral("--root"), root,
                                              QStringLiteral("--user"), user,
                                              QStringLiteral("--password"), password,
                                              QStringLiteral("--host-key"), hostKeyPath(),
                                              QStringLiteral("--log-logins")});
        m_port = announcedPort(m_process);
        return m_port > 0 && describeSshKey(hostKeyPath(), &m_hostKey);
    }

    int port() const { return m_port; }
    // What the server printed after its port: a line for each login attempt.
    QString output()
    {
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_output;
    }
    QString hostKeyPath() const { return m_dir.filePath(QStringLiteral("host_ed25519")); }
    const SshKey &hostKey() const { return m_hostKey; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    SshKey m_hostKey;
    QString m_output;
    int m_port = 0;
};
