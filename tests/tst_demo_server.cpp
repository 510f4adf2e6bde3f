// The demo FTP server the program starts for the demo preset: started only
// on a free port, logged into with the preset's account, and gone with its
// owner. The tests use a free port in place of the preset's.
#include "demo_server.h"
#include "test_files.h"

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

QTEST_GUILESS_MAIN(TestDemoServer)
#include "tst_demo_server.moc"
