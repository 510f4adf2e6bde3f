// Keeping a login open and measuring how long it may stay idle: the wait
// schedule, the finding and the interval it recommends by tables; then
// vsftpd with a short idle limit, a relay that forgets idle flows (silently
// or with a reset) and the SFTP test server, all on loopback.
#include "ssh_server_process.h"
#include "transfer_run.h"
#include "vsftpd_process.h"

#include "idle_test.h"
#include "text/idle_text.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

namespace {

// vsftpd ends a login idle this long.
constexpr int ServerIdleLimit = 3;
// IDLETEST's first wait here, so its waits go 1, 2, 4 ... seconds.
constexpr int FirstWait = 1;

// scripts/ftp_server.py behind tests/idle_relay.py, which forgets a flow
// idle for `idle` seconds as `drop` says.
struct RelayedServer
{
    QTemporaryDir root;
    FtpServerProcess server;
    ScriptServer relay;
    bool start(double idle, const QString &drop)
    {
        return root.isValid() && server.start(root.path(), TestUser, TestPassword) &&
               relay.launch(
                   QStringLiteral(SARVEL_TESTS_DIR "/idle_relay.py"),
                   {"--target", server.address(), "--idle", QString::number(idle), "--drop", drop});
    }
};

int count(const QStringList &lines, const QString &text)
{
    return int(lines.filter(text).size());
}

} // namespace

class TestKeepalive : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void idleWaits_data();
    void idleWaits();
    void recommendation_data();
    void recommendation();
    void findings_data();
    void findings();
    void keepaliveSaysAndSets();
    void keepaliveHoldsTheLogin();
    void withoutKeepaliveTheNextCommandLogsInAgain();
    void commandDuringAKeepaliveWaitsForIt();
    void commandsAfterAnIdleLongerThanTheTimeout();
    void idleTestNamesTheServersReply();
    void idleTestNamesWhatThePathDid_data();
    void idleTestNamesWhatThePathDid();
    void idleTestStopsOnAbort();
    void sftpKeepaliveStats();

private:
    std::unique_ptr<CurlTransfer> vsftpdTransfer() const
    {
        return transferTo(m_vsftpd.port(), VsftpdProcess::userName(), VsftpdProcess::password());
    }
    QTemporaryDir m_vsftpdRoot;
    VsftpdProcess m_vsftpd;
};

void TestKeepalive::initTestCase()
{
    qputenv("SARVEL_IDLETEST_FIRST_WAIT", QByteArray::number(FirstWait));
    QCOMPARE(IdleTest::firstWait(), FirstWait);
    m_vsftpd.setIdleSessionTimeout(ServerIdleLimit);
    QVERIFY2(m_vsftpd.start(m_vsftpdRoot.path()), qPrintable(m_vsftpd.errorString()));
}

void TestKeepalive::idleWaits_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("max");
    QTest::addColumn<QList<int>>("waits");
    QTest::newRow("the default") << IdleTestFirstWaitSeconds << DefaultIdleTestMaxSeconds
                                 << QList<int>{5, 10, 20, 40, 80, 160, 320, 600};
    QTest::newRow("a short maximum") << 5 << 30 << QList<int>{5, 10, 20, 30};
    QTest::newRow("the maximum a wait") << 5 << 40 << QList<int>{5, 10, 20, 40};
    QTest::newRow("a maximum below the first wait") << 5 << 3 << QList<int>{3};
    QTest::newRow("the tests' waits") << 1 << 10 << QList<int>{1, 2, 4, 8, 10};
}

void TestKeepalive::idleWaits()
{
    QFETCH(int, first);
    QFETCH(int, max);
    QFETCH(QList<int>, waits);
    QList<int> schedule;
    for (int wait = nextIdleWait(0, first, max); wait > 0 && schedule.size() < 50;
         wait = nextIdleWait(wait, first, max))
        schedule << wait;
    QCOMPARE(schedule, waits);
}

void TestKeepalive::recommendation_data()
{
    QTest::addColumn<int>("survived");
    QTest::addColumn<int>("cutAfter");
    QTest::addColumn<int>("seconds");
    QTest::newRow("20 s survived") << 20 << 40 << 15;
    QTest::newRow("40 s survived") << 40 << 80 << 30;
    QTest::newRow("320 s survived") << 320 << 600 << 240;
    QTest::newRow("10 s survived") << 10 << 20 << 7;
    QTest::newRow("5 s survived") << 5 << 10 << 3;
    QTest::newRow("2 s survived") << 2 << 4 << 1;
    QTest::newRow("nothing survived") << 0 << 5 << 1;
}

void TestKeepalive::recommendation()
{
    QFETCH(int, survived);
    QFETCH(int, cutAfter);
    QFETCH(int, seconds);
    IdleFinding finding;
    finding.survived = survived;
    finding.cutAfter = cutAfter;
    finding.cut = IdleCut::Reset;
    QCOMPARE(recommendedKeepalive(finding), seconds);
    // Below the longest idle that survived, so a keepalive always comes in time.
    QVERIFY(survived == 0 || seconds < survived);
}

void TestKeepalive::findings_data()
{
    QTest::addColumn<int>("survived");
    QTest::addColumn<int>("cutAfter");
    QTest::addColumn<IdleCut>("cut");
    QTest::addColumn<QString>("text");
    QTest::newRow("reset") << 20 << 40 << IdleCut::Reset
                           << "survived 20 s idle; cut after 40 s idle by a connection reset (no "
                              "reply from the server): something on the path drops idle "
                              "connections; KEEPALIVE 15 keeps logins open";
    QTest::newRow("nothing cut") << 600 << 0 << IdleCut::None
                                 << "survived 600 s idle: no keepalive needed up to 600 s";
    QTest::newRow("server's reply")
        << 160 << 320 << IdleCut::Reply
        << "survived 160 s idle; cut after 320 s idle by the server's reply \"421 Timeout.\": the "
           "server ends idle logins; KEEPALIVE 120 keeps logins open";
    QTest::newRow("silence") << 40 << 80 << IdleCut::Silence
                             << "survived 40 s idle; cut after 80 s idle by silence (no reply "
                                "within 30 s): something on the path drops idle connections "
                                "without a word; KEEPALIVE 30 keeps logins open";
    QTest::newRow("cut at once") << 0 << 5 << IdleCut::Closed
                                 << "cut after 5 s idle by the server closing the connection "
                                    "without a reply: the server or something on the path ends "
                                    "idle connections; KEEPALIVE 1 keeps logins open";
}

void TestKeepalive::findings()
{
    QFETCH(int, survived);
    QFETCH(int, cutAfter);
    QFETCH(IdleCut, cut);
    QFETCH(QString, text);
    IdleFinding finding;
    finding.survived = survived;
    finding.cutAfter = cutAfter;
    finding.cut = cut;
    finding.reply = QStringLiteral("421 Timeout.");
    finding.timeoutSeconds = 30;
    QCOMPARE(idleFindingText(finding), text);
}

void TestKeepalive::keepaliveSaysAndSets()
{
    // No site is needed: the component answers itself.
    CurlTransfer transfer;
    const Outcome asked = run(transfer, "KEEPALIVE");
    QVERIFY(asked.ok);
    QCOMPARE(asked.info, keepaliveText(DefaultKeepaliveSeconds, false));
    QVERIFY(run(transfer, "keepalive off").ok);
    QCOMPARE(run(transfer, "KEEPALIVE").info, keepaliveText(0, false));
    QVERIFY(run(transfer, "KEEPALIVE 15").ok);
    QCOMPARE(run(transfer, "KEEPALIVE").info, keepaliveText(15, false));
    for (const char *wrong : {"KEEPALIVE 0", "KEEPALIVE 1.5", "KEEPALIVE ON", "IDLETEST 0"})
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, transfer.Execute(wrong));
}

void TestKeepalive::keepaliveHoldsTheLogin()
{
    const auto logins = [this] {
        return count(m_vsftpd.log().split('\n'), QStringLiteral("OK LOGIN"));
    };
    const int before = logins();
    auto transfer = vsftpdTransfer();
    QVERIFY(run(*transfer, "KEEPALIVE 1").ok);
    const Outcome first = run(*transfer, "PWD");
    QVERIFY2(first.ok, qPrintable(first.info));
    // The keepalives show in the log and change no state the operator sees.
    QStringList lines;
    QObject context;
    connect(transfer.get(), &TransferComponent::protocolEvent, &context,
            [&](const ProtocolEvent &event) { lines << event.text; });
    QSignalSpy states(transfer.get(), &TransferComponent::StateChanged);
    QTest::qWait((ServerIdleLimit + 2) * 1000);
    QVERIFY(states.isEmpty());
    QCOMPARE(transfer->ResponseInfo(), first.info);
    QVERIFY2(count(lines, QStringLiteral("NOOP")) >= ServerIdleLimit, qPrintable(lines.join('\n')));
    QVERIFY2(lines.filter(QRegularExpression("^200 ")).size() >= ServerIdleLimit,
             qPrintable(lines.join('\n')));
    const Outcome second = run(*transfer, "PWD");
    QVERIFY2(second.ok, qPrintable(second.info));
    QVERIFY(!second.shows(QStringLiteral("Logging in again")));
    // One login for the whole.
    QCOMPARE(logins(), before + 1);
    run(*transfer, "CLOSE");
}

void TestKeepalive::withoutKeepaliveTheNextCommandLogsInAgain()
{
    auto transfer = vsftpdTransfer();
    QVERIFY(run(*transfer, "KEEPALIVE OFF").ok);
    QVERIFY(run(*transfer, "PWD").ok);
    QTest::qWait((ServerIdleLimit + 1) * 1000);
    const Outcome again = run(*transfer, "PWD");
    QVERIFY2(again.ok, qPrintable(again.info));
    QVERIFY2(again.protocol.filter(QRegularExpression("^Logging in again: .*421 Timeout")).size() ==
                 1,
             qPrintable(again.protocol.join('\n')));
    QVERIFY(again.shows(QStringLiteral("PASS ")));
}

void TestKeepalive::commandDuringAKeepaliveWaitsForIt()
{
    // The relay forgets the login before the first keepalive, which then
    // hears nothing until the time-out; a command typed meanwhile waits.
    RelayedServer path;
    QVERIFY(path.start(1, QStringLiteral("silence")));
    auto transfer = transferTo(path.relay.port());
    QVERIFY(run(*transfer, "TIMEOUT 2").ok);
    QVERIFY(run(*transfer, "KEEPALIVE 2").ok);
    QVERIFY(run(*transfer, "PWD").ok);
    QTest::qWait(2500);
    const Outcome typed = run(*transfer, "PWD");
    QVERIFY2(typed.ok, qPrintable(typed.info));
    QVERIFY2(typed.protocol.filter(QRegularExpression("^Logging in again: the keepalive failed"))
                     .size() == 1,
             qPrintable(typed.protocol.join('\n')));
}

void TestKeepalive::commandsAfterAnIdleLongerThanTheTimeout()
{
    // A kept login idle longer than the wait for a reply still answers.
    QTemporaryDir root;
    FtpServerProcess server;
    QVERIFY(server.start(root.path(), TestUser, TestPassword));
    auto transfer = transferTo(server.port());
    QVERIFY(run(*transfer, "KEEPALIVE OFF").ok);
    QVERIFY(run(*transfer, "TIMEOUT 1").ok);
    for (const char *command : {"PWD", "MKDIR new", "PWD"}) {
        QTest::qWait(1500);
        const Outcome outcome = run(*transfer, command);
        QVERIFY2(outcome.ok, qPrintable(command + QStringLiteral(": ") + outcome.info));
    }
}

void TestKeepalive::idleTestNamesTheServersReply()
{
    auto transfer = vsftpdTransfer();
    const Outcome test = run(*transfer, "IDLETEST 20");
    QVERIFY2(test.ok, qPrintable(test.info));
    QCOMPARE(test.states.last(), TransferState::ResponseCompleted);
    // Waits of 1 and 2 s survive vsftpd's 3 s; the one of 4 s does not.
    QVERIFY2(test.info.startsWith(QLatin1String("survived 2 s idle; cut after 4 s idle by the "
                                                "server's reply \"421 Timeout.\"")),
             qPrintable(test.info));
    QVERIFY(test.infos.contains(idleProgressText(1, 2, 20)));
    QVERIFY(test.protocol.contains(QStringLiteral("IDLETEST: ") + test.info));
    // The next command logs in again, and says why.
    const Outcome next = run(*transfer, "PWD");
    QVERIFY(next.ok);
    QVERIFY(next.shows(QStringLiteral("Logging in again: IDLETEST's login was cut")));
}

void TestKeepalive::idleTestNamesWhatThePathDid_data()
{
    QTest::addColumn<QString>("drop");
    QTest::addColumn<QString>("by");
    QTest::newRow("silence") << "silence"
                             << "by silence (no reply within 2 s)";
    QTest::newRow("reset") << "reset"
                           << "by a connection reset";
}

void TestKeepalive::idleTestNamesWhatThePathDid()
{
    QFETCH(QString, drop);
    QFETCH(QString, by);
    RelayedServer path;
    QVERIFY(path.start(2.5, drop));
    auto transfer = transferTo(path.relay.port());
    QVERIFY(run(*transfer, "TIMEOUT 2").ok);
    const Outcome test = run(*transfer, "IDLETEST 10");
    QVERIFY2(test.ok, qPrintable(test.info));
    QVERIFY2(
        test.info.startsWith(QStringLiteral("survived 2 s idle; cut after 4 s idle %1").arg(by)),
        qPrintable(test.protocol.mid(test.protocol.size() - 30).join('\n')));
    QVERIFY(test.info.endsWith(QLatin1String("KEEPALIVE 1 keeps logins open")));
}

void TestKeepalive::idleTestStopsOnAbort()
{
    QTemporaryDir root;
    FtpServerProcess server;
    QVERIFY(server.start(root.path(), TestUser, TestPassword));
    auto transfer = transferTo(server.port());
    QSignalSpy finished(transfer.get(), &TransferComponent::finished);
    transfer->Execute("IDLETEST");
    // Within the third wait, after two have been survived.
    QTRY_VERIFY_WITH_TIMEOUT(
        transfer->ResponseInfo() == idleProgressText(1, 4, DefaultIdleTestMaxSeconds), 15000);
    QVERIFY(finished.isEmpty());
    QElapsedTimer clock;
    clock.start();
    transfer->Execute("ABORT");
    QVERIFY(finished.wait(5000));
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(finished.first().first().toBool());
    QVERIFY2(transfer->ResponseInfo().startsWith(
                 QStringLiteral("Stopped by the operator: survived 2 s idle so far")),
             qPrintable(transfer->ResponseInfo()));
    // The login stands: the next command needs no new one.
    const Outcome next = run(*transfer, "PWD");
    QVERIFY(next.ok);
    QVERIFY(!next.shows(QStringLiteral("PASS ")));
}

void TestKeepalive::sftpKeepaliveStats()
{
    QTemporaryDir root;
    SftpServerProcess server;
    const QString user = QStringLiteral("keeper");
    const QString password = QStringLiteral("Kp3!alive");
    QVERIFY(server.start(root.path(), user, password));
    auto transfer = sftpTransferTo(server.port(), user, password);
    QVERIFY(run(*transfer, "KEEPALIVE 1").ok);
    // The server's host key is trusted once.
    QVERIFY(run(*transfer, "DIR", {true}).ok);
    QStringList lines;
    QObject context;
    connect(transfer.get(), &TransferComponent::protocolEvent, &context,
            [&](const ProtocolEvent &event) { lines << event.text; });
    QSignalSpy states(transfer.get(), &TransferComponent::StateChanged);
    QTest::qWait(2500);
    QVERIFY(states.isEmpty());
    QVERIFY2(lines.filter(QRegularExpression("^stat /")).size() >= 1, qPrintable(lines.join('\n')));
    const Outcome again = run(*transfer, "DIR");
    QVERIFY2(again.ok, qPrintable(again.protocol.join('\n')));
    QCOMPARE(count(server.output().split('\n'), QStringLiteral("accepted")), 1);
}

QTEST_GUILESS_MAIN(TestKeepalive)
#include "tst_keepalive.moc"
