#pragma once

// The built program run as an operator runs it in a terminal, without a
// display; SARVEL_BINARY names it.
#include "site_check_support.h"
#include "ssh_server_process.h"
#include "transfer_run.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The program with `arguments` and no display, `environment` added; events
// keep being handled while it runs, for a server in this process.
inline Run sarvel(const QStringList &arguments, const QMap<QString, QString> &environment = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // A window would need the X server that is not there: it would fail.
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        env.insert(it.key(), it.value());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(SARVEL_BINARY), arguments);
    Run run;
    if (!process.waitForStarted(10000))
        return run;
    QDeadlineTimer deadline(120000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        process.waitForFinished(20);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The output of `command` run by the shell.
inline QByteArray shell(const QString &command)
{
    QProcess process;
    process.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), command});
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
}

// The demo SFTP server on an empty folder for the test account, and a home
// with no known_hosts and no keys, as `sarvel --check` meets them.
struct SftpTerminalSite
{
    QTemporaryDir root;
    QTemporaryDir home;
    SftpServerProcess server;

    bool start() { return server.start(root.path(), TestUser, TestPassword); }
    QStringList check() const
    {
        return {"--check",
                QStringLiteral("sftp://%1@127.0.0.1:%2").arg(TestUser).arg(server.port())};
    }
    QMap<QString, QString> environment() const
    {
        return {{"SARVEL_PASSWORD", TestPassword}, {"HOME", home.path()}};
    }
};
