#include "demo_server.h"

#include "site_directory.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <stdexcept>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::runtime_error failure(const QString &message)
{
    return std::runtime_error(message.toStdString());
}

// A plain connect: on loopback it is answered at once, and it spares the
// program loading Qt Network for one question.
bool listening(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool answered = ::connect(fd, reinterpret_cast<sockaddr *>(&server), sizeof server) == 0;
    ::close(fd);
    return answered;
}

// What tells the demo servers apart.
struct KindRow
{
    DemoServer::Kind kind;
    SiteProtocol protocol;
    const char *script;
    const char *name;
};
constexpr KindRow Kinds[] = {
    {DemoServer::Kind::Ftp, SiteProtocol::Ftp, "ftp_server.py", "FTP"},
    {DemoServer::Kind::Sftp, SiteProtocol::Sftp, "sftp_server.py", "SFTP"},
};

const KindRow &rowFor(DemoServer::Kind kind)
{
    return *std::find_if(std::begin(Kinds), std::end(Kinds),
                         [kind](const KindRow &row) { return row.kind == kind; });
}

QString bundled(const QString &installed, const QString &inSource)
{
    const QString beside =
        QDir::cleanPath(QCoreApplication::applicationDirPath() +
                        QStringLiteral("/" SARVEL_DATA_FROM_BIN "/") + installed);
    return QFileInfo::exists(beside) ? beside : inSource;
}

} // namespace

DemoServer::DemoServer(Files files, QString root, Kind kind)
    : m_files(std::move(files)), m_root(std::move(root)), m_kind(kind)
{}

DemoServer::~DemoServer()
{
    if (running()) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

DemoServer::Files DemoServer::bundledFiles(Kind kind)
{
    const QString script = QLatin1String(rowFor(kind).script);
    return {bundled(script, QStringLiteral(SARVEL_SOURCE_SCRIPTS "/") + script),
            bundled(QStringLiteral("demo/readme.txt"), QStringLiteral(SARVEL_SOURCE_README))};
}

QString DemoServer::defaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Sarvel/demo");
}

const SiteDirectory::Site &DemoServer::demoPreset()
{
    // A host under .localhost is loopback (RFC 6761), so only the bundled
    // server can be behind it.
    const auto &presets = SiteDirectory::presets();
    const auto local = std::find_if(presets.begin(), presets.end(), [](const auto &site) {
        return siteEndpoint(site.address).host.endsWith(QLatin1String(".localhost"));
    });
    Q_ASSERT(local != presets.end());
    return *local;
}

int DemoServer::demoPort(Kind kind)
{
    return kind == Kind::Sftp ? 2222 : siteEndpoint(demoPreset().address).port;
}

bool DemoServer::isDemoSite(Kind kind, const QString &address)
{
    const SiteEndpoint site = siteEndpoint(address);
    const QString demoHost = siteEndpoint(demoPreset().address).host;
    return site.protocol == rowFor(kind).protocol && site.port == demoPort(kind) &&
           (site.host == demoHost || site.host == QLatin1String("127.0.0.1"));
}

void DemoServer::siteChosen(const QString &address)
{
    const SiteDirectory::Site &demo = demoPreset();
    if (isDemoSite(m_kind, address))
        start(quint16(demoPort(m_kind)), demo.user, demo.password);
}

bool DemoServer::start(quint16 port, const QString &user, const QString &password)
{
    if (running() || listening(port))
        return false;
    prepareRoot();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The server goes with the program, also when the program is killed.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {m_files.script, QStringLiteral("--port"), QString::number(port),
                     QStringLiteral("--root"), m_root, QStringLiteral("--user"), user,
                     QStringLiteral("--password"), password});
    // The script says "port N" once it listens; a login before that is refused.
    const QDeadlineTimer deadline(10000);
    while (!m_process.canReadLine() && m_process.waitForReadyRead(deadline.remainingTime())) {
    }
    if (m_process.canReadLine()) {
        m_process.readLine();
        return true;
    }
    const QString why = m_process.error() == QProcess::FailedToStart
                            ? m_process.errorString()
                            : QStringLiteral("it stopped before listening on port %1").arg(port);
    m_process.kill();
    m_process.waitForFinished();
    throw failure(QStringLiteral("The demo %1 server could not start: %2")
                      .arg(QLatin1String(rowFor(m_kind).name), why));
}

void DemoServer::prepareRoot() const
{
    if (!QDir().mkpath(m_root))
        throw failure(QStringLiteral("The demo folder %1 could not be made.").arg(m_root));
    const QString readme = m_root + QStringLiteral("/readme.txt");
    if (!QFileInfo::exists(readme) && !QFile::copy(m_files.readme, readme))
        throw failure(QStringLiteral("The demo readme could not be copied from %1 to %2.")
                          .arg(m_files.readme, readme));
}
