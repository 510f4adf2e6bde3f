// The soak's pure pieces by tables: the sizes and bytes its seed makes, the
// comparison of what comes back, the phase a failure counts in, SOAK's
// arguments and the summary.
#include "engine/generated_data.h"
#include "soak_support.h"
#include "text/report/soak_report.h"
#include "text/transfer_command.h"

#include <QTest>

Q_DECLARE_METATYPE(PhaseTimes)

namespace {

using Phase = SoakPhase;

GeneratedFile::Fill fillOf(quint64 seed, int round)
{
    return [=](qint64 offset, char *data, qint64 length) {
        soakFill(seed, round, offset, data, length);
    };
}

QByteArray bytesOf(quint64 seed, int round, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    soakFill(seed, round, 0, bytes.data(), size);
    return bytes;
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sizes_data();
    void sizes();
    void bytesReadInAnyPieces();
    void comparedAsItComes_data();
    void comparedAsItComes();
    void failedPhase_data();
    void failedPhase();
    void arguments_data();
    void arguments();
    void summary();
};

void TestSoak::sizes_data()
{
    QTest::addColumn<qint64>("maxSize");
    QTest::addColumn<int>("edges"); // the edge sizes that fit
    QTest::newRow("4 MiB") << DefaultSoakMaxSize << 4;
    QTest::newRow("64 KiB") << qint64(65536) << 3;
    QTest::newRow("16384") << qint64(16384) << 3;
    QTest::newRow("100") << qint64(100) << 1;
    QTest::newRow("1") << qint64(1) << 1;
}

void TestSoak::sizes()
{
    QFETCH(qint64, maxSize);
    QFETCH(int, edges);
    const QList<qint64> edgeSizes = soakEdgeSizes();
    QList<qint64> drawn, again, other;
    for (int i = 0; i < 200; ++i) {
        drawn << soakRoundSize(7, i, maxSize);
        again << soakRoundSize(7, i, maxSize);
        other << soakRoundSize(8, i, maxSize);
    }
    QCOMPARE(drawn.mid(0, edges), edgeSizes.mid(0, edges));
    QCOMPARE(drawn, again); // the seed repeats a run
    for (qint64 size : drawn)
        QVERIFY(size >= 1 && size <= maxSize);
    if (maxSize > 1000) {
        QVERIFY(drawn != other);
        // Spread over the range, not stuck at one end.
        QVERIFY(*std::max_element(drawn.begin() + edges, drawn.end()) > maxSize / 2);
        QVERIFY(*std::min_element(drawn.begin() + edges, drawn.end()) < maxSize / 2);
    }
}

void TestSoak::bytesReadInAnyPieces()
{
    const QByteArray whole = bytesOf(5, 3, 70001);
    QVERIFY(whole != bytesOf(5, 4, 70001)); // each round its own bytes
    QVERIFY(whole != bytesOf(6, 3, 70001));
    GeneratedFile file(whole.size(), fillOf(5, 3));
    QCOMPARE(file.size(), whole.size());
    QByteArray read;
    for (qint64 piece : {1, 7, 8, 3, 16384, 65536})
        read += file.read(piece);
    read += file.readAll();
    QCOMPARE(read, whole);
    QVERIFY(file.seek(12345)); // a repeated upload reads again from a point
    QCOMPARE(file.read(99), whole.mid(12345, 99));
}

void TestSoak::comparedAsItComes_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<qint64>("firstDifference");
    const QByteArray sent = bytesOf(9, 0, 20000);
    QByteArray changed = sent;
    changed[15000] = char(changed[15000] ^ 1);
    QTest::newRow("the same") << sent << true << qint64(-1);
    QTest::newRow("short") << sent.left(16384) << false << qint64(-1);
    QTest::newRow("a byte changed") << changed << false << qint64(15000);
    QTest::newRow("longer") << sent + "x" << false << qint64(20000);
    QTest::newRow("nothing") << QByteArray() << false << qint64(-1);
}

void TestSoak::comparedAsItComes()
{
    QFETCH(QByteArray, received);
    QFETCH(bool, whole);
    QFETCH(qint64, firstDifference);
    ComparedFile compared(20000, fillOf(9, 0));
    for (qint64 at = 0; at < received.size(); at += 4096)
        QCOMPARE(compared.write(received.mid(at, 4096)), qMin<qint64>(4096, received.size() - at));
    QCOMPARE(compared.whole(), whole);
    QCOMPARE(compared.received(), qint64(received.size()));
    QCOMPARE(compared.firstDifference(), firstDifference);
}

void TestSoak::failedPhase_data()
{
    QTest::addColumn<bool>("loginStood");
    QTest::addColumn<PhaseTimes>("times");
    QTest::addColumn<int>("phase"); // of a failed read-back
    PhaseTimes none;
    PhaseTimes resolved = none;
    resolved.resolve = 40;
    PhaseTimes connected = resolved;
    connected.connect = 300;
    PhaseTimes greeted = connected;
    greeted.greeting = 200;
    PhaseTimes loggedIn = greeted;
    loggedIn.login = 900;
    PhaseTimes keyExchanged = connected;
    keyExchanged.keyExchange = 5000;
    QTest::newRow("no login, nothing reached") << false << none << int(Phase::Connect);
    QTest::newRow("no login, connected, no greeting") << false << connected << int(Phase::Connect);
    QTest::newRow("no login, greeted") << false << greeted << int(Phase::Login);
    QTest::newRow("no login, SSH key exchanged") << false << keyExchanged << int(Phase::Login);
    QTest::newRow("no login, logged in") << false << loggedIn << int(Phase::ReadBack);
    QTest::newRow("login stood") << true << none << int(Phase::ReadBack);
    QTest::newRow("login stood, lost, no new connection")
        << true << resolved << int(Phase::Connect);
    QTest::newRow("login stood, a new one refused") << true << greeted << int(Phase::Login);
    QTest::newRow("login stood, a new one made") << true << loggedIn << int(Phase::ReadBack);
}

void TestSoak::failedPhase()
{
    QFETCH(bool, loginStood);
    QFETCH(PhaseTimes, times);
    QFETCH(int, phase);
    QCOMPARE(int(soakFailedPhase(Phase::ReadBack, loginStood, times)), phase);
}

void TestSoak::arguments_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("rounds"); // 0: refused
    QTest::addColumn<QString>("folder");
    QTest::newRow("bare") << "SOAK" << DefaultSoakRounds << "";
    QTest::newRow("rounds") << "soak 25" << 25 << "";
    QTest::newRow("folder") << "SOAK in" << DefaultSoakRounds << "in";
    QTest::newRow("both") << "SOAK 3 \"a b\"" << 3 << "a b";
    QTest::newRow("a folder of digits after rounds") << "SOAK 3 2026" << 3 << "2026";
    QTest::newRow("most") << QStringLiteral("SOAK %1").arg(MaxSoakRounds) << MaxSoakRounds << "";
    QTest::newRow("too many") << QStringLiteral("SOAK %1").arg(MaxSoakRounds + 1) << 0 << "";
    QTest::newRow("zero") << "SOAK 0" << 0 << "";
    QTest::newRow("rounds not a number") << "SOAK x y" << 0 << "";
    QTest::newRow("three") << "SOAK 1 a b" << 0 << "";
}

void TestSoak::arguments()
{
    QFETCH(QString, command);
    QFETCH(int, rounds);
    QFETCH(QString, folder);
    try {
        const TransferCommand parsed = parseTransferCommand(command);
        QVERIFY2(rounds > 0, "accepted");
        QCOMPARE(int(parsed.verb), int(TransferVerb::Soak));
        QCOMPARE(soakArguments(parsed.args).rounds, rounds);
        QCOMPARE(soakArguments(parsed.args).folder, folder);
    } catch (const std::invalid_argument &error) {
        QVERIFY2(rounds == 0, error.what());
        QVERIFY(QString::fromUtf8(error.what()).contains("SOAK [rounds] [folder]"));
    }
}

void TestSoak::summary()
{
    const SoakSummary s = summarizeSoak(fourRounds().rounds);
    QCOMPARE(soakSummaryLine(s), "4 rounds, 3 passed, 1 failed");
    QCOMPARE(s.seed, TestSoakSeed);
    QCOMPARE(s.failures.size(), 1);
    QCOMPARE(int(s.failures.first().phase), int(Phase::Verify));
    QCOMPARE(s.failures.first().reason, "the server kept 8192 of the 16384 bytes sent");
    // Counted by phase, whatever sizes the reasons name.
    QList<SoakRound> more = fourRounds().rounds;
    more << soakRound(5, 5, 100, 10, Phase::Verify, 50, soakKeptText(50, 100))
         << soakRound(6, 6, 100, 10, Phase::Delete, 100, QStringLiteral("550 refused"));
    const SoakSummary m = summarizeSoak(more);
    QCOMPARE(m.failures.size(), 2);
    QCOMPARE(m.failures.first().count, 2);
    QCOMPARE(m.failures.first().reason, s.failures.first().reason);
    QCOMPARE(soakFailureLine(m.failures.first()),
             "2 x verify, the first: the server kept 8192 of the 16384 bytes sent");
    QCOMPARE(int(m.failures.last().phase), int(Phase::Delete));
    QCOMPARE(s.phases.size(), SoakPhaseCount);
    const CheckSpread &upload = s.phases.at(int(Phase::Upload));
    QCOMPARE(upload.name, "upload");
    QCOMPARE(upload.count, 4);
    QCOMPARE(upload.p50, 0.02);
    QCOMPARE(upload.max, 0.04);
    QCOMPARE(s.phases.at(int(Phase::Connect)).count, 1); // one login only
    // Rates of the rounds that passed alone: 65537 bytes in 40 ms at most.
    QCOMPARE(s.uploadRate.count, 3);
    QCOMPARE(s.readBackRate.max, 65537 / 0.04);
}

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
