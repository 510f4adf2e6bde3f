#pragma once

#include "site_directory.h"

#include <QProcess>
#include <QString>

// The bundled demo FTP server (scripts/ftp_server.py) for the preset that
// lives on this machine, started when that site is chosen and nothing listens
// on its port yet, and stopped when this goes. Installed, there is no
// scripts/run to start it, so the program does.
class DemoServer final
{
    Q_DISABLE_COPY_MOVE(DemoServer)
public:
    // The bundled files: the server script and the readme.txt it serves.
    struct Files
    {
        QString script;
        QString readme;
    };

    // Serves `root`, which is made and given the readme when missing.
    DemoServer(Files files, QString root);
    ~DemoServer();

    // Beside the installed program, or in the source tree for a build-tree run.
    static Files bundledFiles();
    // ~/.local/share/Sarvel/demo, as scripts/run serves.
    static QString defaultRoot();
    // The preset served on this machine, with the account the server gets.
    static const SiteDirectory::Site &demoPreset();

    // Starts the server when `address` is the demo preset's.
    void siteChosen(const QString &address);

    // Starts the server on 127.0.0.1:`port` unless something listens there
    // already or it runs; false when it started nothing. Throws
    // std::runtime_error when the server does not come up.
    bool start(quint16 port, const QString &user, const QString &password);
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }

private:
    void prepareRoot() const;

    Files m_files;
    QString m_root;
    QProcess m_process;
};
