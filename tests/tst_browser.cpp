// The browser pane: how typed addresses are read, and the real engine
// loading a page from a loopback server.
#include "browser_address.h"
#include "ftp_server_process.h"
#include "web_browser_pane.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestBrowser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void addresses_data();
    void addresses();
    void loadsPageAndReportsStatus();
};

void TestBrowser::addresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("url");
    QTest::newRow("empty") << ""
                           << "about:blank";
    QTest::newRow("default form") << "www.sarvel.example/fileread.asp"
                                  << "http://www.sarvel.example/fileread.asp";
    QTest::newRow("host and port is no scheme") << "demo.localhost:2121"
                                                << "http://demo.localhost:2121";
    QTest::newRow("ftp host still a web page") << "ftp.quarry.example"
                                               << "http://ftp.quarry.example";
    QTest::newRow("full address") << "https://a.example/x?y=1"
                                  << "https://a.example/x?y=1";
    QTest::newRow("about page") << "about:blank"
                                << "about:blank";
    QTest::newRow("surrounding spaces") << "  b.example "
                                        << "http://b.example";
}

void TestBrowser::addresses()
{
    QFETCH(QString, address);
    QFETCH(QString, url);
    QCOMPARE(browserUrlFor(address).toString(), url);
}

void TestBrowser::loadsPageAndReportsStatus()
{
    QTemporaryDir root;
    QVERIFY(writeFile(root.filePath("fileread.asp"),
                      "<html><head><title>Files</title></head><body><a "
                      "href='/other.asp'>other</a></body></html>"));
    ScriptServer server;
    QVERIFY2(server.launch(QStringLiteral(SARVEL_TESTS_DIR "/http_server.py"), {root.path()}),
             "the HTTP server did not start");
    const QString address = server.address() + QStringLiteral("/fileread.asp");

    WebBrowserPane pane;
    pane.resize(800, 400);
    pane.show();
    QVERIFY(!pane.engineStarted());
    QStringList texts;
    connect(&pane, &BrowserPane::statusTextChange, this, [&](const QString &t) { texts << t; });

    pane.navigate(address);
    QVERIFY(pane.engineStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        !texts.isEmpty() && texts.constLast().startsWith(QLatin1String("Done")), 60000);
    QCOMPARE(texts.constFirst(), QStringLiteral("Opening page http://%1...").arg(address));
    QCOMPARE(texts.constLast(), QStringLiteral("Done: http://%1").arg(address));

    // A page that is not there still ends with a status text, saying so.
    texts.clear();
    pane.navigate(QStringLiteral("http://127.0.0.1:1/"));
    QTRY_VERIFY_WITH_TIMEOUT(
        !texts.isEmpty() && texts.constLast().startsWith(QLatin1String("Could not open")), 60000);
}

int main(int argc, char *argv[])
{
    prepareBrowserEngine();
    QApplication app(argc, argv);
    TestBrowser test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_browser.moc"
