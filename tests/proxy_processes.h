#pragma once

// The proxies a tester's network may put in the way, as Debian packages
// them, on free loopback ports with logs of their own: microsocks (SOCKS5,
// with or without a login) and tinyproxy (HTTP, CONNECT only to what it allows).
#include "test_files.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

class ProxyProcess
{
    Q_DISABLE_COPY_MOVE(ProxyProcess)
public:
    ProxyProcess() = default;
    ~ProxyProcess()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    int port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

protected:
    // Starts `program` on a free port that `arguments(port)` names; false
    // when it does not accept connections within 10 s.
    template <typename Arguments> bool launch(const QString &program, Arguments arguments)
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost))
            return false;
        m_port = probe.serverPort();
        probe.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, arguments(m_port));
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
            if (socket.waitForConnected(200))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    QProcess m_process;
    QTemporaryDir m_dir;
    int m_port = 0;
};

// microsocks; "client[4] 127.0.0.1: connected to 127.0.0.1:2121" in its
// log for each connection it made.
class MicrosocksProcess final : public ProxyProcess
{
public:
    bool start(const QString &user = {}, const QString &password = {})
    {
        return launch(QStringLiteral("microsocks"), [&](int port) {
            QStringList arguments{"-i", "127.0.0.1", "-p", QString::number(port)};
            if (!user.isEmpty())
                arguments << "-u" << user << "-P" << password;
            return arguments;
        });
    }
    QString log()
    {
        m_log += QString::fromLocal8Bit(m_process.readAll());
        return m_log;
    }

private:
    QString m_log;
};

// tinyproxy in the foreground with its own configuration: loopback only,
// CONNECT to any port, its log at level Info.
class TinyproxyProcess final : public ProxyProcess
{
public:
    bool start(const QString &basicAuth = {})
    {
        const QString config = m_dir.filePath(QStringLiteral("tinyproxy.conf"));
        return launch(QStringLiteral("tinyproxy"), [&](int port) {
            QByteArray text = "Listen 127.0.0.1\nPort " + QByteArray::number(port) +
                              "\nAllow 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                              "LogLevel Info\nLogFile \"" +
                              logPath().toUtf8() + "\"\n";
            // Without ConnectPort lines tinyproxy allows CONNECT to any port.
            if (!basicAuth.isEmpty())
                text += "BasicAuth " + basicAuth.toUtf8() + "\n";
            writeFile(config, text);
            return QStringList{QStringLiteral("-d"), QStringLiteral("-c"), config};
        });
    }
    QString log() const { return QString::fromLocal8Bit(readFile(logPath())); }

private:
    QString logPath() const { return m_dir.filePath(QStringLiteral("tinyproxy.log")); }
};
