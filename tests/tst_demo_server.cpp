// The demo servers the program starts: the FTP one for the demo preset and
// the SFTP one for an sftp:// site at the same host. Each is started only on
// a free port, logged into with the preset's account, and gone with its
// owner. The tests use a free port in place of the demo port.
#include "demo_server.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QByteArray replyLine(QTcpSocket &socket)
{
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(5000))
            return {};
    return socket.readLine();
}

// The reply code to each step of a login with the demo preset's account.
QList<QByteArray> loginCodes(quint16 port)
{
    const auto &demo = DemoServer::demoPreset();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QList<QByteArray> codes{replyLine(socket).left(3)};
    socket.write("USER " + demo.user.toUtf8() + "\r\n");
    codes << replyLine(socket).left(3);
    socket.write("PASS " + demo.password.toUtf8() + "\r\n");
    codes << replyLine(socket).left(3);
    return codes;
}

} // namespace

class TestDemoServer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void servesFreshFolderOnFreePort();
    void keepsOperatorsReadme();
    void leavesTakenPortAlone();
    void ignoresOtherSites();
    void reportsServerThatCannotStart();
    void demoSites_data();
    void demoSites();
    void sftpServerKeepsItsHostKey();
};

void TestDemoServer::servesFreshFolderOnFreePort()
{
    QTemporaryDir home;
    const QString root = home.filePath(QStringLiteral("Sarvel/demo"));
    const quint16 port = freePort();
    qint64 pid = 0;
    {
        const auto &demo = DemoServer::demoPreset();
        DemoServer server(DemoServer::bundledFiles(), root);
        QVERIFY(server.start(port, demo.user, demo.password));
        pid = server.processId();
        QCOMPARE(readFile(root + QStringLiteral("/readme.txt")),
                 readFile(DemoServer::bundledFiles().readme));
        QCOMPARE(loginCodes(port), (QList<QByteArray>{"220", "331", "230"}));
        // Started once: a second choice of the site starts nothing more.
        QVERIFY(!server.start(port, demo.user, demo.password));
    }
    QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
    QTcpSocket after;
    after.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!after.waitForConnected(2000));
}

void TestDemoServer::keepsOperatorsReadme()
{
    QTemporaryDir root;
    QFile mine(root.filePath(QStringLiteral("readme.txt")));
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("my own notes");
    mine.close();
    const auto &demo = DemoServer::demoPreset();
    DemoServer server(DemoServer::bundledFiles(), root.path());
    QVERIFY(server.start(freePort(), demo.user, demo.password));
    QCOMPARE(readFile(mine.fileName()), QByteArray("my own notes"));
}

void TestDemoServer::leavesTakenPortAlone()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::LocalHost));
    QTemporaryDir root;
    DemoServer server(DemoServer::bundledFiles(), root.path());
    QVERIFY(!server.start(other.serverPort(), QStringLiteral("u"), QStringLiteral("p")));
    QVERIFY(!server.running());
}

void TestDemoServer::ignoresOtherSites()
{
    QTemporaryDir root;
    DemoServer server(DemoServer::bundledFiles(), root.path());
    for (const auto &site : SiteDirectory::presets()) {
        if (site.address == DemoServer::demoPreset().address)
            continue;
        server.siteChosen(site.address);
        QVERIFY2(!server.running(), qPrintable(site.address));
    }
}

void TestDemoServer::reportsServerThatCannotStart()
{
    QTemporaryDir root;
    DemoServer server(
        {root.filePath(QStringLiteral("missing.py")), DemoServer::bundledFiles().readme},
        root.path());
    try {
        server.start(freePort(), QStringLiteral("u"), QStringLiteral("p"));
        QFAIL("a server that cannot start was taken for started");
    } catch (const std::runtime_error &failure) {
        QVERIFY2(QByteArray(failure.what()).startsWith("The demo FTP server could not start"),
                 failure.what());
    }
    QVERIFY(!server.running());
}

void TestDemoServer::demoSites_data()
{
    QTest::addColumn<DemoServer::Kind>("kind");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("served");
    const auto Ftp = DemoServer::Kind::Ftp;
    const auto Sftp = DemoServer::Kind::Sftp;
    QTest::newRow("sftp, demo host") << Sftp << "sftp://demo.localhost:2222" << true;
    QTest::newRow("sftp, loopback") << Sftp << "sftp://127.0.0.1:2222" << true;
    QTest::newRow("sftp, upper case") << Sftp << "SFTP://Demo.Localhost:2222" << true;
    QTest::newRow("sftp, usual port") << Sftp << "sftp://demo.localhost" << false;
    QTest::newRow("sftp, other host") << Sftp << "sftp://files.example:2222" << false;
    QTest::newRow("sftp, ftp demo port") << Sftp << "sftp://demo.localhost:2121" << false;
    QTest::newRow("ftp site at the sftp port") << Sftp << "demo.localhost:2222" << false;
    QTest::newRow("ftp preset") << Ftp << DemoServer::demoPreset().address << true;
    QTest::newRow("ftp preset, for sftp") << Sftp << DemoServer::demoPreset().address << false;
    QTest::newRow("sftp site, for ftp") << Ftp << "sftp://demo.localhost:2222" << false;
}

void TestDemoServer::demoSites()
{
    QFETCH(DemoServer::Kind, kind);
    QFETCH(QString, address);
    QFETCH(bool, served);
    QCOMPARE(DemoServer::isDemoSite(kind, address), served);
}

void TestDemoServer::sftpServerKeepsItsHostKey()
{
    // Clients pin the key, so the server keeps the one it made first.
    QTemporaryDir home;
    const QString root = home.filePath(QStringLiteral("Sarvel/demo"));
    const auto &demo = DemoServer::demoPreset();
    QByteArray firstKey;
    for (int run = 0; run < 2; ++run) {
        const quint16 port = freePort();
        DemoServer server(DemoServer::bundledFiles(DemoServer::Kind::Sftp), root,
                          DemoServer::Kind::Sftp);
        QVERIFY(server.start(port, demo.user, demo.password));
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(replyLine(socket).startsWith("SSH-2.0-"));
        const QStringList keys = QDir(home.filePath(QStringLiteral("Sarvel")))
                                     .entryList({QStringLiteral("*key")}, QDir::Files);
        QCOMPARE(keys.size(), 1);
        const QByteArray key = readFile(home.filePath(QStringLiteral("Sarvel/") + keys.first()));
        QVERIFY(!key.isEmpty());
        if (run == 0)
            firstKey = key;
        QCOMPARE(key, firstKey);
    }
    QCOMPARE(readFile(root + QStringLiteral("/readme.txt")),
             readFile(DemoServer::bundledFiles(DemoServer::Kind::Sftp).readme));
}

QTEST_GUILESS_MAIN(TestDemoServer)
#include "tst_demo_server.moc"
