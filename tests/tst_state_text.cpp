// What the status bar and the state box's tooltip say of the states and of
// a command that ended well, from the one table of states.
#include "text/state_text.h"

#include <QDir>
#include <QTest>

Q_DECLARE_METATYPE(PhaseTimes)

class TestStateText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyStateListed();
    void runningStates();
    void commandDone_data();
    void commandDone();
};

namespace {

constexpr int StateCount = int(TransferState::ResponseCompleted) + 1;

} // namespace

void TestStateText::everyStateListed()
{
    const QStringList lines = transferStateList().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), StateCount);
    QStringList names;
    for (int state = 0; state < StateCount; ++state) {
        const QString name = transferStateName(TransferState(state));
        QVERIFY(!name.isEmpty() && !names.contains(name));
        names << name;
        QCOMPARE(lines.at(state), QString::number(state) + QLatin1Char(' ') + name);
    }
}

void TestStateText::runningStates()
{
    const QString server = QStringLiteral("10.255.255.1:21");
    QCOMPARE(runningStateText(TransferState::Connecting, server),
             QStringLiteral("3 connecting to 10.255.255.1:21"));
    for (int state = 0; state < StateCount; ++state) {
        const auto s = TransferState(state);
        const QString text = runningStateText(s, server);
        const bool running = s != TransferState::Idle && s != TransferState::Error &&
                             s != TransferState::ResponseCompleted;
        QCOMPARE(!text.isEmpty(), running);
        if (running) {
            QVERIFY2(
                text.startsWith(QString::number(state) + QLatin1Char(' ') + transferStateName(s)),
                qPrintable(text));
            QVERIFY2(text.endsWith(QLatin1Char(' ') + server), qPrintable(text));
        }
    }
}

void TestStateText::commandDone_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("micros");
    QTest::addColumn<QString>("text");
    const QString home = QDir::homePath();
    QTest::newRow("download to a file")
        << "GET big.bin C:\\dl\\big.bin" << qint64(40'000'000) << qint64(10'200'000)
        << "Downloaded 38.1 MiB in 10.2 s (3.7 MiB/s) to " + home + "/dl/big.bin";
    QTest::newRow("download kept for Get Chunk")
        << "GET readme.txt" << qint64(2000) << qint64(500'000)
        << "Downloaded 2.0 KiB in 500 ms (3.9 KiB/s); Get Chunk shows it, 1024 characters at a "
           "time";
    QTest::newRow("upload under its own name")
        << "put c:\\tolvar\\vorltest.blm" << qint64(3 << 20) << qint64(1'000'000)
        << "Uploaded 3.0 MiB in 1.0 s (3.0 MiB/s) from " + home +
               "/tolvar/vorltest.blm to vorltest.blm";
    QTest::newRow("upload renamed, under a millisecond")
        << "PUT /tmp/a.txt up/b.txt" << qint64(10) << qint64(40)
        << "Uploaded 10 bytes in 1 ms (9.8 KiB/s) from /tmp/a.txt to up/b.txt";
    QTest::newRow("listing") << "DIR" << qint64(845) << qint64(3000)
                             << "The listing (845 bytes) waits for Get Chunk, which shows it "
                                "1024 characters at a time";
    QTest::newRow("empty listing") << "LS sub" << qint64(0) << qint64(3000)
                                   << "The listing (0 bytes) waits for Get Chunk, which shows it "
                                      "1024 characters at a time";
    QTest::newRow("no data moved") << "CD pub" << qint64(-1) << qint64(3000) << QString();
    QTest::newRow("size") << "SIZE a.txt" << qint64(-1) << qint64(3000) << QString();
}

void TestStateText::commandDone()
{
    QFETCH(QString, command);
    QFETCH(qint64, bytes);
    QFETCH(qint64, micros);
    QFETCH(QString, text);
    PhaseTimes times;
    times.bytes = bytes;
    times.total = micros;
    QCOMPARE(commandDoneText(parseTransferCommand(command), times), text);
}

QTEST_APPLESS_MAIN(TestStateText)
#include "tst_state_text.moc"
