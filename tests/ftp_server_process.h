#pragma once

#include <QProcess>
#include <QStringList>

// The port a helper server announces on its first line, "port N"; 0 when it
// announces none within 15 s. Waits for the whole line: the pipe may hand it
// over in pieces.
inline int announcedPort(QProcess &process)
{
    while (!process.canReadLine())
        if (!process.waitForReadyRead(15000))
            return 0;
    const QByteArray line = process.readLine().trimmed();
    return line.startsWith("port ") ? line.mid(5).toInt() : 0;
}

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
        m_port = announcedPort(m_process);
        return m_port > 0;
    }

    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};
