// What the transfer component refuses to send, what it does when a local
// file cannot be written, and stopping an operation, against a real FTP
// server on loopback.
#include "transfer_run.h"

#include <QDir>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

class TestTransferSafety : public QObject, private PlainServerFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void unsafeSettingsAreNeverSent_data();
    void unsafeSettingsAreNeverSent();
    void putSendsOnlyRegularFiles_data();
    void putSendsOnlyRegularFiles();
    void writeFailurePartWayKeepsTheOldFile();
    void abortStopsADownload();
    void environmentProxyIsNeverUsedSilently();
};

void TestTransferSafety::initTestCase()
{
    QVERIFY2(startServer(), "the FTP server did not start (python3-pyftpdlib?)");
}

void TestTransferSafety::init()
{
    renewLocalFolder();
}

void TestTransferSafety::unsafeSettingsAreNeverSent_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("what");
    QTest::newRow("line break in password") << TestUser << "pw\r\nDELE victim.txt"
                                            << "password";
    QTest::newRow("line feed in account") << "tester\nDELE victim.txt" << TestPassword << "account";
    QTest::newRow("NUL in password") << TestUser << QStringLiteral("pw") + QChar(0) + "x"
                                     << "password";
}

void TestTransferSafety::unsafeSettingsAreNeverSent()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, what);
    QVERIFY(writeFile(serverPath("victim.txt"), "keep me"));
    const QByteArray before = m_server.commandsReceived();
    auto transfer = transferTo(m_server.port(), user, password);

    const Outcome outcome = run(*transfer, "DIR");
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states, QList<TransferState>{TransferState::Error});
    QVERIFY2(outcome.info.contains(what), qPrintable(outcome.info));
    QVERIFY(!outcome.info.contains(QLatin1String("DELE")));
    QVERIFY(outcome.protocol.isEmpty());
    QCOMPARE(m_server.commandsReceived(), before);
    QVERIFY(QFile::exists(serverPath("victim.txt")));
}

void TestTransferSafety::putSendsOnlyRegularFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("kind");
    QTest::newRow("device") << "/dev/zero"
                            << "device";
    QTest::newRow("named pipe") << "fifo"
                                << "named pipe";
    QTest::newRow("folder") << "."
                            << "folder";
}

void TestTransferSafety::putSendsOnlyRegularFiles()
{
    QFETCH(QString, path);
    QFETCH(QString, kind);
    if (path == QLatin1String("fifo")) {
        path = localFile("fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (path == QLatin1String(".")) {
        path = m_local->path();
    }
    auto transfer = connectedTransfer();
    const Outcome outcome = run(*transfer, QStringLiteral("PUT \"%1\" sent.bin").arg(path));
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states, QList<TransferState>{TransferState::Error});
    QVERIFY2(outcome.info.contains(kind), qPrintable(outcome.info));
    QVERIFY(!QFile::exists(serverPath("sent.bin")));
}

void TestTransferSafety::writeFailurePartWayKeepsTheOldFile()
{
    QVERIFY(writeFile(serverPath("big.bin"), QByteArray(3 * 1024 * 1024, 'b')));
    QVERIFY(writeFile(localFile("big.bin"), "precious"));
    auto transfer = connectedTransfer();

    // Files this process writes may not pass 1 MiB: the download's write
    // fails part-way, as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 1024 * 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Outcome outcome = run(*transfer, "GET big.bin " + localFile("big.bin"));
    ::setrlimit(RLIMIT_FSIZE, &previous);

    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states.constLast(), TransferState::Error);
    QVERIFY2(outcome.info.contains(localFile("big.bin")), qPrintable(outcome.info));
    QCOMPARE(readFile(localFile("big.bin")), QByteArray("precious"));
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), {"big.bin"});
    // The login is still good for the next operation.
    QVERIFY(run(*transfer, "GET big.bin " + localFile("again.bin")).ok);
    QCOMPARE(QFileInfo(localFile("again.bin")).size(), 3 * 1024 * 1024);
}

void TestTransferSafety::abortStopsADownload()
{
    QFile huge(serverPath("huge.bin"));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(2) << 30));
    huge.close();
    QVERIFY(writeFile(localFile("huge.bin"), "precious"));
    auto transfer = connectedTransfer();
    QObject context;
    connect(transfer.get(), &TransferComponent::StateChanged, &context, [&](qint16 state) {
        if (TransferState(state) == TransferState::ReceivingResponse)
            transfer->Execute("ABORT");
    });
    const Outcome outcome = run(*transfer, "GET huge.bin " + localFile("huge.bin"));
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states.constLast(), TransferState::Error);
    QCOMPARE(outcome.info, QStringLiteral("Stopped by the operator"));
    QCOMPARE(readFile(localFile("huge.bin")), QByteArray("precious"));
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), {"huge.bin"});
    QCOMPARE(outcome.states.count(TransferState::Error), 1);
    QVERIFY(!transfer->StillExecuting());

    context.disconnect();
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, transfer->Execute("ABORT"));
    QVERIFY(run(*transfer, "PWD").ok);
}

// A proxy named in the environment is never used behind the operator's
// back: the log says it is in use and how to turn it off, and an HTTP proxy
// is asked for a CONNECT tunnel, never sent an HTTP request, which would
// carry the account's password.
void TestTransferSafety::environmentProxyIsNeverUsedSilently()
{
    QTcpServer proxy;
    QVERIFY(proxy.listen(QHostAddress::LocalHost));
    QByteArray received;
    int connections = 0;
    connect(&proxy, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *client = proxy.nextPendingConnection();
        ++connections;
        connect(client, &QTcpSocket::readyRead, client, [&received, client] {
            received += client->readAll();
            if (received.contains("\r\n\r\n"))
                client->write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
        });
    });
    const QByteArray address = "http://127.0.0.1:" + QByteArray::number(proxy.serverPort());
    const QList<QByteArray> names{"all_proxy", "ALL_PROXY", "ftp_proxy", "FTP_PROXY"};
    for (const QByteArray &name : names)
        qputenv(name.constData(), address);
    QVERIFY(writeFile(serverPath("proxied.txt"), "through no proxy"));
    auto transfer = connectedTransfer();
    for (const QByteArray &name : names)
        qunsetenv(name.constData());
    const Outcome tunnelled =
        run(*transfer, QStringLiteral("GET proxied.txt ") + localFile(QStringLiteral("p.txt")));
    QVERIFY(!tunnelled.ok);
    QVERIFY2(tunnelled.protocol.first().startsWith(
                 "Proxy set in the environment, in use: " + address + " from ftp_proxy") &&
                 tunnelled.protocol.first().contains("PROXY OFF"),
             qPrintable(tunnelled.protocol.join('\n')));
    QVERIFY2(tunnelled.info.contains("refused the connection to " + m_server.address()),
             qPrintable(tunnelled.info));
    QVERIFY(connections >= 1);
    QVERIFY2(received.startsWith("CONNECT " + m_server.address().toUtf8() + " HTTP/1.1\r\n"),
             received.constData());
    QVERIFY(!received.contains("GET ") && !received.contains(TestPassword.toUtf8()));

    // Turned off, the commands go to the server directly.
    const int before = connections;
    QVERIFY(run(*transfer, QStringLiteral("PROXY OFF")).ok);
    const Outcome got =
        run(*transfer, QStringLiteral("GET proxied.txt ") + localFile(QStringLiteral("p.txt")));
    QVERIFY2(got.ok, qPrintable(got.info));
    QCOMPARE(connections, before);
}

QTEST_GUILESS_MAIN(TestTransferSafety)
#include "tst_transfer_safety.moc"
