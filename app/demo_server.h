#pragma once

#include "site_directory.h"

#include <QProcess>
#include <QString>

// A bundled demo server on this machine, started when its site is chosen and
// nothing listens on its port yet, and stopped when this goes: the FTP one
// (scripts/ftp_server.py) for the demo preset, or the SFTP one
// (scripts/sftp_server.py) for an added sftp:// site at the same host, port
// 2222. Installed, there is no scripts/run to start them, so the program does.
class DemoServer final
{
    Q_DISABLE_COPY_MOVE(DemoServer)
public:
    enum class Kind { Ftp, Sftp };

    // The bundled files: the server script and the readme.txt it serves.
    struct Files
    {
        QString script;
        QString readme;
    };

    // Serves `root`, which is made and given the readme when missing.
    DemoServer(Files files, QString root, Kind kind = Kind::Ftp);
    ~DemoServer();

    // Beside the installed program, or in the source tree for a build-tree run.
    static Files bundledFiles(Kind kind = Kind::Ftp);
    // ~/.local/share/Sarvel/demo, as scripts/run serves.
    static QString defaultRoot();
    // The preset served on this machine, with the account the server gets.
    static const SiteDirectory::Site &demoPreset();
    // The port the server of `kind` serves the demo on: the demo preset's
    // for FTP, 2222 for SFTP.
    static int demoPort(Kind kind);
    // Whether a site at `address` is served by the demo server of `kind`:
    // the protocol is the kind's, the port its demo port, and the host the
    // demo preset's or 127.0.0.1.
    static bool isDemoSite(Kind kind, const QString &address);

    // Starts the server when `address` is its demo site.
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
    Kind m_kind;
    QProcess m_process;
};
