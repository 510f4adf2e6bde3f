// How the transfer component puts a failure in words, one misbehaving
// server per row: the state, the reply code and the phase named.
#include "curl_transfer.h"
#include "ftp_server_process.h"
#include "transfer_run.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

class TestTransferFailures : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void phaseIsNamed_data();
    void phaseIsNamed();
    void uploadTheServerKeptOnlyPartOf();
    void closingDoesNotWaitForAnUnansweredQuit();
};

namespace {

// The misbehaving server in `mode` on a free loopback port, for as long as this lives.
struct HostileServer
{
    explicit HostileServer(const QString &mode, const QStringList &extra = {})
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral("/usr/bin/python3"),
                      QStringList{QStringLiteral(SARVEL_TESTS_DIR "/hostile_ftp_server.py"),
                                  "--mode", mode, "--idle", "30"} +
                          extra);
        port = announcedPort(process);
    }
    ~HostileServer()
    {
        process.kill();
        process.waitForFinished();
    }
    QString name() const { return QStringLiteral("127.0.0.1:%1").arg(port); }

    QProcess process;
    int port = 0;
};

std::unique_ptr<CurlTransfer> transferTo(const QString &server)
{
    auto transfer = std::make_unique<CurlTransfer>();
    transfer->setURL(QStringLiteral("FTP://") + server);
    transfer->setUserName("tester");
    transfer->setPassword("Pw9!xq7z");
    transfer->setRequestTimeout(2);
    return transfer;
}

} // namespace

void TestTransferFailures::phaseIsNamed_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("phase"); // %1 stands for the server's host:port

    QTest::newRow("refused connection") << "refuse"
                                        << "PWD" << 0 << "Cannot connect to %1";
    QTest::newRow("silent listener") << "silent"
                                     << "PWD" << 0 << "%1 sent no greeting within 2 s";
    QTest::newRow("over-long reply") << "long-reply"
                                     << "PWD" << 0 << "The reply from %1 is too long or malformed";
    QTest::newRow("endless reply") << "endless-multiline"
                                   << "PWD" << 0 << "The reply from %1 is too long or malformed";
    QTest::newRow("data port never accepts")
        << "no-data-accept"
        << "GET file.bin" << 0 << "Cannot open the data connection to 127.0.0.1:";
    QTest::newRow("cut with size")
        << "cut-with-size"
        << "GET file.bin" << 0 << "The transfer from %1 was cut short: 500000 of 1000000";
    QTest::newRow("cut without size")
        << "cut-without-size"
        << "GET file.bin" << 0 << "The transfer from %1 was cut short after";
    QTest::newRow("reply timeout") << "reply-timeout"
                                   << "PWD" << 0 << "%1 did not reply to PWD within 2 s";
    QTest::newRow("login refused") << "login-refused"
                                   << "PWD" << 530 << "%1 refused the login: 530";
    QTest::newRow("login needs TLS") << "must-encrypt"
                                     << "PWD" << 530 << "(the server requires TLS)";
}

void TestTransferFailures::phaseIsNamed()
{
    QFETCH(QString, mode);
    QFETCH(QString, operation);
    QFETCH(int, code);
    QFETCH(QString, phase);

    Outcome outcome;
    QString name;
    {
        HostileServer server(mode);
        QVERIFY(server.port > 0);
        name = server.name();
        outcome = run(*transferTo(name), operation);
    }

    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states.constLast(), TransferState::Error);
    QCOMPARE(outcome.states.count(TransferState::Error), 1);
    QCOMPARE(outcome.code, code);
    QVERIFY2(outcome.info.contains(phase.arg(name)), qPrintable(outcome.info));
    QVERIFY(!outcome.info.contains(QLatin1String("Pw9!xq7z")));
}

void TestTransferFailures::uploadTheServerKeptOnlyPartOf()
{
    QTemporaryDir local;
    QVERIFY(writeFile(local.filePath("sent.bin"), QByteArray(100000, 's')));
    HostileServer server("short-store");
    QVERIFY(server.port > 0);
    const Outcome outcome = run(*transferTo(server.name()), "PUT " + local.filePath("sent.bin"));
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states.constLast(), TransferState::Error);
    QVERIFY2(outcome.info.contains(QLatin1String("the server holds 50000 bytes of the 100000")),
             qPrintable(outcome.info));
}

void TestTransferFailures::closingDoesNotWaitForAnUnansweredQuit()
{
    HostileServer server("reply-timeout", {"--stall-at", "QUIT"});
    QVERIFY(server.port > 0);
    auto transfer = transferTo(server.name());
    transfer->setRequestTimeout(60);
    QVERIFY(run(*transfer, "PWD").ok);
    // libcurl would wait for the reply to QUIT up to its own time-out (two
    // minutes); the component cuts its connections instead.
    QElapsedTimer clock;
    clock.start();
    transfer.reset();
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestTransferFailures)
#include "tst_transfer_failures.moc"
