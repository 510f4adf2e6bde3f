// The soak against real servers on loopback: pyftpdlib losing part of
// every third upload while it still confirms it, vsftpd plain and with TLS,
// the SFTP test server, a soak stopped in the middle of a round, and the
// built program's `--soak` read by the monitors' readers.
#include "ftp_server_process.h"
#include "monitor_readers.h"
#include "ssh_server_process.h"
#include "terminal_run.h"
#include "text/failure_text.h"
#include "transfer_run.h"
#include "vsftpd_process.h"

#include <QDir>
#include <QJsonDocument>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(VsftpdProcess::Security)

namespace {

// The rounds a soak reported, and how it ended.
struct Soak
{
    QList<SoakRound> rounds;
    Outcome outcome;
};

Soak soak(CurlTransfer &transfer, const QString &command, const SoakSettings &settings,
          QList<bool> answers = {})
{
    Soak result;
    transfer.setSoakSettings(settings);
    QObject context;
    QObject::connect(&transfer, &TransferComponent::soakRound, &context,
                     [&](const SoakRound &round) { result.rounds << round; });
    result.outcome = run(transfer, command, answers);
    return result;
}

SoakSettings settings(qint64 maxSize, quint64 seed)
{
    SoakSettings s;
    s.maxSize = maxSize;
    s.seed = seed;
    return s;
}

// pyftpdlib over a folder of its own, started with `extra`.
struct Pyftpd
{
    QTemporaryDir root;
    FtpServerProcess server;

    bool start(const QStringList &extra)
    {
        return server.start(root.path(), TestUser, TestPassword, extra);
    }
};

// The files left in `root`, the soak's own among them.
QStringList filesIn(const QString &root)
{
    return QDir(root).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

class TestSoakServers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void findsTheTruncatedUploads();
    void onVsftpd_data();
    void onVsftpd();
    void onSftp();
    void stoppedInTheMiddleOfARound();
    void inTheTerminal();
};

void TestSoakServers::findsTheTruncatedUploads()
{
    Pyftpd ftp;
    QVERIFY2(ftp.start({"--truncate-every", "3"}), "pyftpdlib did not start");
    auto transfer = transferTo(ftp.server.port());
    const Soak s = soak(*transfer, "SOAK 9", settings(300000, 77));
    QCOMPARE(s.rounds.size(), 9);
    QCOMPARE(s.outcome.states.last(), TransferState::Error);
    QCOMPARE(s.outcome.info, "9 rounds, 6 passed, 3 failed");
    for (const SoakRound &round : s.rounds) {
        QCOMPARE(round.size, soakRoundSize(77, round.number - 1, 300000));
        QCOMPARE(round.rounds, 9);
        if (round.number % 3 != 0) {
            QVERIFY2(round.passed(), qPrintable(soakRoundLine(round)));
            QCOMPARE(round.readBack, round.size);
            continue;
        }
        // Exactly the uploads the server cut, each with what it kept.
        QVERIFY(!round.passed());
        QCOMPARE(int(*round.failedIn), int(SoakPhase::Verify));
        QCOMPARE(round.kept, round.size / 2);
        QVERIFY2(round.reason.contains(
                     QStringLiteral("kept %1 of the %2 bytes").arg(round.size / 2).arg(round.size)),
                 qPrintable(round.reason));
        QVERIFY(!round.leftBehind);
    }
    QVERIFY(s.outcome.shows("Round 3 ("));
    QCOMPARE(filesIn(ftp.root.path()), QStringList{}); // every round's file deleted
    // One login for all nine rounds.
    QCOMPARE(s.outcome.protocol.filter(QRegularExpression("^USER ")).size(), 1);
}

void TestSoakServers::onVsftpd_data()
{
    QTest::addColumn<VsftpdProcess::Security>("security");
    QTest::newRow("plain") << VsftpdProcess::Security::Plain;
    QTest::newRow("TLS") << VsftpdProcess::Security::Tls;
}

void TestSoakServers::onVsftpd()
{
    QFETCH(VsftpdProcess::Security, security);
    QTemporaryDir root;
    VsftpdProcess vsftpd;
    QVERIFY2(vsftpd.start(root.path(), security), qPrintable(vsftpd.errorString()));
    auto transfer = transferTo(vsftpd.port(), VsftpdProcess::userName(), VsftpdProcess::password());
    const Soak s = soak(*transfer, "SOAK 6", settings(200000, 3), {true});
    QCOMPARE(s.rounds.size(), 6);
    QVERIFY2(s.outcome.ok, qPrintable(s.outcome.info));
    QCOMPARE(s.outcome.states.last(), TransferState::ResponseCompleted);
    QCOMPARE(s.outcome.info, "6 rounds, 6 passed, 0 failed");
    QCOMPARE(s.rounds.at(1).size, 16383); // the edges first
    for (const SoakRound &round : s.rounds) {
        QCOMPARE(round.kept, round.size);
        QCOMPARE(round.readBack, round.size);
        for (SoakPhase phase :
             {SoakPhase::Upload, SoakPhase::Verify, SoakPhase::ReadBack, SoakPhase::Delete})
            QVERIFY(round.micros[size_t(phase)] >= 0);
    }
    QVERIFY(s.rounds.first().micros[size_t(SoakPhase::Login)] > 0);
    if (security == VsftpdProcess::Security::Tls)
        QVERIFY2(s.outcome.protections.last().startsWith("TLS"),
                 qPrintable(s.outcome.protections.join(", ")));
    QCOMPARE(filesIn(root.path()), QStringList{});
}

void TestSoakServers::onSftp()
{
    QTemporaryDir root;
    SftpServerProcess server;
    QVERIFY2(server.start(root.path(), TestUser, TestPassword),
             "the demo SFTP server did not start (python3-asyncssh)");
    auto transfer = sftpTransferTo(server.port(), TestUser, TestPassword);
    const Soak s = soak(*transfer, "SOAK 5", settings(100000, 5), {true});
    QCOMPARE(s.rounds.size(), 5);
    QVERIFY2(s.outcome.ok, qPrintable(s.outcome.info));
    for (const SoakRound &round : s.rounds)
        QVERIFY2(round.passed() && round.readBack == round.size, qPrintable(soakRoundLine(round)));
    QCOMPARE(filesIn(root.path()), QStringList{});
}

void TestSoakServers::stoppedInTheMiddleOfARound()
{
    Pyftpd ftp;
    // Each upload waits 2 s for its 226: the stop comes while it waits.
    QVERIFY2(ftp.start({"--confirm-delay", "2"}), "pyftpdlib did not start");
    auto transfer = transferTo(ftp.server.port());
    bool stored = false;
    QObject::connect(transfer.get(), &TransferComponent::protocolEvent, transfer.get(),
                     [&](const ProtocolEvent &event) {
                         if (!stored && event.text.startsWith("STOR ")) {
                             stored = true;
                             QTimer::singleShot(800, [&] { transfer->Execute("ABORT"); });
                         }
                     });
    const Soak s = soak(*transfer, "SOAK 5", settings(1000, 1));
    QVERIFY(stored);
    QVERIFY(s.rounds.isEmpty()); // the round cut short is not counted
    QCOMPARE(s.outcome.states.last(), TransferState::Error);
    QVERIFY2(s.outcome.info.startsWith(QLatin1String(StoppedText)), qPrintable(s.outcome.info));
    QVERIFY(s.outcome.shows("DELE sarvel-soak-"));
    QCOMPARE(filesIn(ftp.root.path()), QStringList{});
}

void TestSoakServers::inTheTerminal()
{
    Pyftpd ftp;
    QVERIFY2(ftp.start({"--truncate-every", "2"}), "pyftpdlib did not start");
    const FtpServerProcess &server = ftp.server;
    const QStringList soak{
        "--soak",     QStringLiteral("ftp://%1@%2").arg(TestUser, server.address()),
        "--rounds",   "4",
        "--max-size", "70000",
        "--seed",     "9"};
    const QMap<QString, QString> password{{"SARVEL_PASSWORD", TestPassword}};

    const Run junit = sarvel(soak + QStringList{"--format", "junit"}, password);
    QCOMPARE(junit.status, 2);
    QByteArray error;
    QVERIFY2(xmlWellFormed(junit.out, &error), error.constData());
    QCOMPARE(xpath(junit.out, "count(//testcase)"), "4");
    QCOMPARE(xpath(junit.out, "count(//testcase[failure])"), "2");
    QCOMPARE(xpath(junit.out, "string(//testcase[2]/failure/@type)"), "verify");

    const Run prometheus = sarvel(soak + QStringList{"--format", "prometheus"}, password);
    QCOMPARE(prometheus.status, 2);
    const QJsonArray families = prometheusFamilies(prometheus.out, &error);
    QVERIFY2(!families.isEmpty(), error.constData());
    QCOMPARE(firstValue(families, "sarvel_soak_success"), 0.0);

    const Run text = sarvel(soak, password);
    QVERIFY2(text.out.startsWith(QStringLiteral("Soak of ftp://%1/: 4 rounds, 2 passed, 2 failed\n"
                                                "Seed 9 ")
                                     .arg(server.address())
                                     .toUtf8()),
             text.out.constData());
    for (const Run &run : {junit, prometheus, text})
        QVERIFY(!run.out.contains(TestPassword.toUtf8()) &&
                !run.err.contains(TestPassword.toUtf8()));
    QCOMPARE(filesIn(ftp.root.path()), QStringList{});

    // A server that keeps every byte: every round passes.
    Pyftpd whole;
    QVERIFY2(whole.start({}), "pyftpdlib did not start");
    const Run passed =
        sarvel({"--soak", QStringLiteral("ftp://%1@%2").arg(TestUser, whole.server.address()),
                "--rounds", "3", "--format", "json"},
               password);
    QCOMPARE(passed.status, 0);
    const QJsonObject json = QJsonDocument::fromJson(passed.out).object();
    QCOMPARE(json["summary"]["passed"].toInt(), 3);
    QVERIFY(!json["seed"].toString().isEmpty()); // drawn, and said
    QCOMPARE(filesIn(whole.root.path()), QStringList{});

    const Run bad = sarvel(soak + QStringList{"--max-size", "0"}, password);
    QCOMPARE(bad.status, 3);
    QVERIFY(bad.err.contains("--max-size"));
    QVERIFY(bad.err.contains("sarvel --soak"));
}

QTEST_GUILESS_MAIN(TestSoakServers)
#include "tst_soak_servers.moc"
