#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "test_files.h"

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

// A Python helper server on a free loopback port, for as long as this lives.
class ScriptServer
{
public:
    ~ScriptServer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    // Starts `script`; false when it announced no port.
    bool launch(const QString &script, const QStringList &arguments)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"), QStringList{script} + arguments);
        m_port = announcedPort(m_process);
        return m_port > 0;
    }

    int port() const { return m_port; }
    // "127.0.0.1:port", as the component names the server.
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

private:
    QProcess m_process;
    int m_port = 0;
};

// scripts/ftp_server.py, which keeps a log of every command it received.
class FtpServerProcess final : public ScriptServer
{
public:
    // Serves `root` to one account; `extra` goes to the script as it is.
    // False when the server did not come up (no python3-pyftpdlib, say).
    bool start(const QString &root, const QString &user, const QString &password,
               const QStringList &extra = {})
    {
        return m_logDir.isValid() &&
               launch(QStringLiteral(SARVEL_SCRIPTS_DIR "/ftp_server.py"),
                      QStringList{"--port", "0", "--root", root, "--user", user, "--password",
                                  password, "--log-commands", commandLog()} +
                          extra);
    }

    // Every command received so far, one a line, the password masked.
    QByteArray commandsReceived() const { return readFile(commandLog()); }

private:
    QString commandLog() const { return m_logDir.filePath(QStringLiteral("commands.log")); }

    QTemporaryDir m_logDir;
};

// tests/hostile_ftp_server.py, misbehaving in `mode`; ends by itself after
// 30 s without a connection.
class HostileServer final : public ScriptServer
{
public:
    explicit HostileServer(const QString &mode, const QStringList &extra = {})
    {
        launch(QStringLiteral(SARVEL_TESTS_DIR "/hostile_ftp_server.py"),
               QStringList{"--mode", mode, "--idle", "30"} + extra);
    }
};
