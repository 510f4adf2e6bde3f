#pragma once

#include "server_greeting.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

// Debian's vsftpd on a free loopback port, for as long as this lives: serves
// one folder, plain or with TLS required for the login and for all data
// (after AUTH TLS, or implicit: TLS from the first byte), and keeps a log of
// every command it received.
//
// The anonymous login asks for a password (any is taken), so that clients
// send PASS as they would for an account of the machine.
//
// vsftpd runs as whoever starts it (run_as_launching_user). That needs no
// account on the machine and works as root or not, but it admits only the
// anonymous login and does not chroot: names are taken from
// the served folder, and absolute remote paths are this machine's own. The
// usual privileged set-up cannot serve here: vsftpd refuses an anonymous
// root that the anonymous user may write to, and uploads need exactly that.
//
// vsftpd 3.0.3 (Debian 12) has no switch per TLS version beyond ssl_tlsv1; it
// offers TLS 1.3 and 1.2.
class VsftpdProcess final
{
    Q_DISABLE_COPY_MOVE(VsftpdProcess)
public:
    enum class Security { Plain, Tls, ImplicitTls };

    static QString userName() { return QStringLiteral("anonymous"); }
    static QString password() { return QStringLiteral("tester@sarvel.localhost"); }

    VsftpdProcess() = default;
    ~VsftpdProcess() { stop(); }

    // Serves `root` on a free port. False, with errorString() saying why, when
    // vsftpd did not come up (not installed, say).
    bool start(const QString &root, Security security = Security::Plain)
    {
        stop();
        m_root = root;
        m_security = security;
        if (!m_dir.isValid())
            return fail(QStringLiteral("no temporary folder"));
        if (security != Security::Plain && !makeCertificate())
            return false;
        // Another program may take the port between its probe and vsftpd's
        // bind; vsftpd then exits, and another port is tried.
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = freePort();
            if (m_port > 0 && launch())
                return true;
        }
        return false;
    }

    // How many days the certificate made at start() is valid for; a year
    // unless set before.
    void setCertificateDays(int days) { m_certificateDays = days; }

    // Seconds an idle login may last before vsftpd says "421 Timeout." and
    // closes it; vsftpd's own 300 unless set before start().
    void setIdleSessionTimeout(int seconds) { m_idleSessionTimeout = seconds; }

    // Comes back on the same port with a certificate of its own, as a server
    // whose certificate was replaced.
    bool restartWithNewCertificate()
    {
        if (m_security == Security::Plain || m_port == 0)
            return fail(QStringLiteral("not serving with TLS"));
        stop();
        if (!makeCertificate())
            return false;
        // The old listening socket may still be on its way out.
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (launch())
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    // Ends the server and every session it forked.
    void stop()
    {
        const qint64 pid = m_process.processId();
        if (pid <= 0)
            return;
        ::kill(-pid_t(pid), SIGTERM);
        if (!m_process.waitForFinished(5000)) {
            ::kill(-pid_t(pid), SIGKILL);
            m_process.waitForFinished();
        }
        // Sessions end with their group; give them a moment to leave.
        for (int i = 0; i < 50 && ::kill(-pid_t(pid), 0) == 0; ++i)
            QThread::msleep(20);
    }

    int port() const { return m_port; }
    QString certificatePath() const { return m_dir.filePath(QStringLiteral("cert.pem")); }
    // SHA-256 of the certificate as `openssl x509 -fingerprint` prints it:
    // upper-case hex pairs joined by colons.
    QString fingerprint() const { return m_fingerprint; }
    QString errorString() const { return m_error; }

    // Every line vsftpd logged: connections, commands ("FTP command: ...")
    // and replies, logins and transfers.
    QString log() const
    {
        QFile file(m_dir.filePath(QStringLiteral("vsftpd.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    bool fail(const QString &why)
    {
        m_error = why;
        return false;
    }

    static int freePort()
    {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
    }

    bool makeCertificate()
    {
        const QString key = m_dir.filePath(QStringLiteral("key.pem"));
        QString output;
        if (!runOpenssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                         QString::number(m_certificateDays), "-subj", "/CN=localhost", "-addext",
                         "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", key, "-out",
                         certificatePath()},
                        &output) ||
            !runOpenssl({"x509", "-noout", "-fingerprint", "-sha256", "-in", certificatePath()},
                        &output))
            return false;
        // "sha256 Fingerprint=AB:CD:..."
        m_fingerprint = output.section(QLatin1Char('='), 1).trimmed();
        return true;
    }

    bool runOpenssl(const QStringList &arguments, QString *output)
    {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"), arguments);
        if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit ||
            openssl.exitCode() != 0)
            return fail(QStringLiteral("openssl %1 failed: %2 %3")
                            .arg(arguments.first(), openssl.errorString(),
                                 QString::fromLocal8Bit(openssl.readAll())));
        *output = QString::fromLocal8Bit(openssl.readAll());
        return true;
    }

    bool writeConfig()
    {
        QStringList lines{
            "listen=YES",
            "listen_ipv6=NO",
            "listen_address=127.0.0.1",
            QStringLiteral("listen_port=%1").arg(m_port),
            "background=NO",
            "run_as_launching_user=YES",
            // Its system call filter breaks vsftpd inside containers.
            "seccomp_sandbox=NO",
            QStringLiteral("ftpd_banner=Sarvel test server %1").arg(m_token),
            "anonymous_enable=YES",
            "local_enable=NO",
            "no_anon_password=NO",
            QStringLiteral("anon_root=%1").arg(m_root),
            "anon_world_readable_only=NO",
            "write_enable=YES",
            "anon_upload_enable=YES",
            "anon_mkdir_write_enable=YES",
            "anon_other_write_enable=YES",
            "anon_umask=022",
            "pasv_enable=YES",
            "pasv_address=127.0.0.1",
            "pasv_promiscuous=NO",
            QStringLiteral("secure_chroot_dir=%1").arg(m_emptyDir.path()),
            "xferlog_enable=YES",
            "xferlog_std_format=NO",
            "log_ftp_protocol=YES",
            QStringLiteral("vsftpd_log_file=%1").arg(m_dir.filePath(QStringLiteral("vsftpd.log"))),
        };
        if (m_idleSessionTimeout > 0)
            lines << QStringLiteral("idle_session_timeout=%1").arg(m_idleSessionTimeout);
        if (m_security == Security::ImplicitTls)
            lines << "implicit_ssl=YES";
        if (m_security != Security::Plain)
            lines += QStringList{
                "ssl_enable=YES",
                QStringLiteral("rsa_cert_file=%1").arg(certificatePath()),
                QStringLiteral("rsa_private_key_file=%1").arg(m_dir.filePath("key.pem")),
                "allow_anon_ssl=YES",
                "force_anon_logins_ssl=YES",
                "force_anon_data_ssl=YES",
                "force_local_logins_ssl=YES",
                "force_local_data_ssl=YES",
                "require_ssl_reuse=YES",
            };
        QFile config(configPath());
        return config.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               config.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n') > 0;
    }

    QString configPath() const { return m_dir.filePath(QStringLiteral("vsftpd.conf")); }

    bool launch()
    {
        m_token = QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (!writeConfig())
            return fail(QStringLiteral("cannot write %1").arg(configPath()));
        const QByteArray errors = QFile::encodeName(m_dir.filePath(QStringLiteral("errors.txt")));
        QFile::remove(QString::fromLocal8Bit(errors));
        // vsftpd writes its "500 OOPS" start-up errors to descriptor 0, so
        // that is opened on a file. A session group of its own lets stop()
        // end the sessions too.
        m_process.setChildProcessModifier([errors] {
            ::setsid();
            const int fd = ::open(errors.constData(), O_RDWR | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0)
                ::dup2(fd, 0);
        });
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QStringLiteral("/usr/sbin/vsftpd"), {configPath()});
        if (!m_process.waitForStarted())
            return fail(QStringLiteral("/usr/sbin/vsftpd: %1 (Debian package vsftpd)")
                            .arg(m_process.errorString()));
        if (greeted())
            return true;
        stop();
        QFile why(QString::fromLocal8Bit(errors));
        why.open(QIODevice::ReadOnly);
        return fail(QStringLiteral("vsftpd did not come up on port %1: %2")
                        .arg(m_port)
                        .arg(QString::fromLocal8Bit(why.readAll()).trimmed()));
    }

    bool greeted()
    {
        return greetsOnPort(m_process, m_port, "220", m_token.toLatin1(),
                            m_security == Security::ImplicitTls);
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_emptyDir;
    QProcess m_process;
    QString m_root;
    QString m_token;
    QString m_fingerprint;
    QString m_error;
    Security m_security = Security::Plain;
    int m_certificateDays = 365;
    int m_idleSessionTimeout = 0; // 0: vsftpd's default
    int m_port = 0;
};
