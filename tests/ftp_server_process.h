#pragma once

#include <QProcess>
#include <QStringList>

// scripts/ftp_server.py on a free loopback port, for as long as this lives.
class FtpServerProcess final
{
public:
    ~FtpServerProcess()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    // Serves `root` to one account; `extra` goes to the script as it is.
    // False when the server did not come up (no python3-pyftpdlib, say).
    bool start(const QString &root, const QString &user, const QString &password,
               const QStringList &extra = {})
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        QStringList{QStringLiteral(SARVEL_SCRIPTS_DIR "/ftp_server.py"),
                                    QStringLiteral("--port"), QStringLiteral("0"),
                                    QStringLiteral("--root"), root, QStringLiteral("--user"), user,
                                    QStringLiteral("--password"), password} +
                            extra);
        if (!m_process.waitForReadyRead(15000))
            return false;
        const QByteArray line = m_process.readLine().trimmed();
        m_port = line.startsWith("port ") ? line.mid(5).toInt() : 0;
        return m_port > 0;
    }

    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};
