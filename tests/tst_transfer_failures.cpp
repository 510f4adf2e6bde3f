// How the transfer component meets a misbehaving server, one per row: the
// state it ends in, the reply code, and the phase its failure names (or the
// server's reply, where it gets past the misbehaviour).
#include "transfer_run.h"

#include "text/connection_text.h"

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
    void refusedUploadNamesWhere();
    void closingDoesNotWaitForAnUnansweredQuit();
};

namespace {

// Short, so that each row takes a few seconds at most.
constexpr int TimeoutSeconds = 2;

std::unique_ptr<CurlTransfer> quickTransferTo(const HostileServer &server)
{
    auto transfer = transferTo(server.address());
    transfer->setRequestTimeout(TimeoutSeconds);
    return transfer;
}

} // namespace

void TestTransferFailures::phaseIsNamed_data()
{
    const TransferState Failed = TransferState::Error;
    const TransferState Done = TransferState::ResponseCompleted;
    QTest::addColumn<QString>("mode"); // and the server's options for it
    QTest::addColumn<QString>("operation");
    QTest::addColumn<TransferState>("state"); // the last one
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("phase"); // %1 stands for the server's host:port

    QTest::newRow("refused connection")
        << "refuse"
        << "PWD" << Failed << 0 << "Nothing accepts connections on 127.0.0.1 port ";
    QTest::newRow("silent listener") << "silent"
                                     << "PWD" << Failed << 0 << "%1 sent no greeting within 2 s";
    QTest::newRow("over-long reply")
        << "long-reply"
        << "PWD" << Failed << 0 << "The reply from %1 is too long or malformed";
    QTest::newRow("endless reply")
        << "endless-multiline"
        << "PWD" << Failed << 0 << "The reply from %1 is too long or malformed";
    QTest::newRow("data port never accepts")
        << "no-data-accept"
        << "GET file.bin" << Failed << 0 << "Cannot open the data connection to 127.0.0.1:";
    QTest::newRow("cut with size")
        << "cut-with-size"
        << "GET file.bin" << Failed << 0 << "The transfer from %1 was cut short: 500000 of 1000000";
    QTest::newRow("cut without size")
        << "cut-without-size"
        << "GET file.bin" << Failed << 0 << "The transfer from %1 was cut short after";
    QTest::newRow("reply timeout") << "reply-timeout"
                                   << "PWD" << Failed << 0 << "%1 did not reply to PWD within 2 s";
    QTest::newRow("login refused") << "login-refused"
                                   << "PWD" << Failed << 530 << "%1 refused the login: 530";
    QTest::newRow("login needs TLS") << "must-encrypt"
                                     << "PWD" << Failed << 530 << "(the server requires TLS)";
    QTest::newRow("greeting too late") << "slow-greeting --delay 4"
                                       << "PWD" << Failed << 0 << "%1 sent no greeting within 2 s";
    QTest::newRow("data stops") << "trickle --every 3"
                                << "GET file.bin" << Failed << 0
                                << "The transfer from %1 stalled: no data for 2 s";
    // Misbehaviour the component gets past: libcurl reads to the end of the
    // data, and takes the data address from the control connection's.
    QTest::newRow("size a lie") << "lying-size"
                                << "GET file.bin" << Done << 226 << "Transfer complete";
    QTest::newRow("passive address elsewhere")
        << "foreign-pasv"
        << "GET file.bin" << Done << 226 << "Transfer complete";
}

void TestTransferFailures::phaseIsNamed()
{
    QFETCH(QString, mode);
    QFETCH(QString, operation);
    QFETCH(TransferState, state);
    QFETCH(int, code);
    QFETCH(QString, phase);

    Outcome outcome;
    QString name;
    {
        const QStringList words = mode.split(QLatin1Char(' '));
        HostileServer server(words.first(), words.mid(1));
        QVERIFY(server.port() > 0);
        name = server.address();
        outcome = run(*quickTransferTo(server), operation);
    }

    QCOMPARE(outcome.ok, state != TransferState::Error);
    QCOMPARE(outcome.states.constLast(), state);
    QCOMPARE(outcome.states.count(TransferState::Error) +
                 outcome.states.count(TransferState::ResponseCompleted),
             1);
    QCOMPARE(outcome.code, code);
    QVERIFY2(outcome.info.contains(phase.replace(QLatin1String("%1"), name)),
             qPrintable(outcome.info));
    QVERIFY(!outcome.shows(TestPassword));
    // Nothing listening is said in the operator's words alone; libcurl's
    // stay in the log.
    if (mode == QLatin1String("refuse"))
        QCOMPARE(outcome.info, closedPortText(name));
}

void TestTransferFailures::uploadTheServerKeptOnlyPartOf()
{
    QTemporaryDir local;
    QVERIFY(writeFile(local.filePath("sent.bin"), QByteArray(100000, 's')));
    HostileServer server("short-store");
    QVERIFY(server.port() > 0);
    const Outcome outcome = run(*quickTransferTo(server), "PUT " + local.filePath("sent.bin"));
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states.constLast(), TransferState::Error);
    QVERIFY2(outcome.info.contains(QLatin1String("the server holds 50000 bytes of the 100000")),
             qPrintable(outcome.info));
}

void TestTransferFailures::refusedUploadNamesWhere()
{
    QTemporaryDir local;
    QVERIFY(writeFile(local.filePath("big.bin"), QByteArray(1000, 'b')));
    HostileServer server("write-refused");
    QVERIFY(server.port() > 0);
    const Outcome outcome =
        run(*quickTransferTo(server), "PUT " + local.filePath("big.bin") + " ro/big.bin");
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.code, 553);
    QVERIFY2(outcome.info.startsWith(QLatin1String("PUT to ro/big.bin refused (553 ")),
             qPrintable(outcome.info));
}

void TestTransferFailures::closingDoesNotWaitForAnUnansweredQuit()
{
    HostileServer server("reply-timeout", {"--stall-at", "QUIT"});
    QVERIFY(server.port() > 0);
    auto transfer = transferTo(server.address());
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
