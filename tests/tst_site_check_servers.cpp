// CHECK against servers on loopback where the check's course matters: a
// folder the account may not write in, a stop that meets a server that
// stalls, and the progress the steps announce.
#include "site_check/site_check_clean_up.h"
#include "site_check_run.h"
#include "ssh_server_process.h"
#include "text/failure_text.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

const QString DemoUser = QStringLiteral("demouser");
const QString DemoPassword = QStringLiteral("Dm4!check");

// The stalling SFTP server, whose reads and deletions never answer.
bool startStalling(SftpServerProcess &server, const QString &root)
{
    qputenv("SARVEL_STALL_REMOVE", "1");
    const bool started =
        server.start(root, DemoUser, DemoPassword, SftpServerProcess::Reads::Stall);
    qunsetenv("SARVEL_STALL_REMOVE");
    return started;
}

// How long a stopped check may take: the deletion's limit, and a margin
// for the login it needs.
constexpr qint64 StopLimitMs = (SiteCheckCleanUp::LimitSeconds + 3) * 1000;

} // namespace

class TestSiteCheckServers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readOnlyFolder();
    void progressInOrder();
    void stoppedSftpCheckEndsSoon();
    void closingDuringCleanUpDoesNotWait();
};

void TestSiteCheckServers::readOnlyFolder()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkdir("ro"));
    FtpServerProcess server;
    QVERIFY(server.start(root.path(), TestUser, TestPassword, {"--read-only", "ro"}));
    auto transfer = transferTo(server.port());

    const CheckRun run = check(*transfer, QStringLiteral("CHECK ro"));
    const Rows rows = run.rows();
    QVERIFY2(rows.value(int(SiteCheckStepId::Write)) == "warning", qPrintable(run.table()));
    for (const SiteCheckStepId id :
         {SiteCheckStepId::Verify, SiteCheckStepId::ReadBack, SiteCheckStepId::CleanUp})
        QCOMPARE(run.detail(id), QStringLiteral("step 11 gave a warning"));
    // Not almost clean: the skipped steps are counted, and why.
    QCOMPARE(run.outcome.info, QStringLiteral("Site check: 8 passed, 2 warnings, 0 failed, "
                                              "6 skipped: the account cannot write in ro"));
    QVERIFY(run.outcome.ok);
    QVERIFY(QDir(root.filePath("ro")).isEmpty());
}

void TestSiteCheckServers::progressInOrder()
{
    QTemporaryDir root;
    FtpServerProcess server;
    QVERIFY(server.start(root.path(), TestUser, TestPassword));
    auto transfer = transferTo(server.port());
    transfer->setRequestTimeout(7);

    const CheckRun run = check(*transfer);
    QVERIFY(run.outcome.ok);
    QVERIFY(run.progress.size() >= 10);
    QCOMPARE(run.progress.first().id, SiteCheckStepId::NameResolution);
    int position = 0;
    QStringList said;
    for (const SiteCheckProgress &p : run.progress) {
        QVERIFY2(p.position > position, qPrintable(siteCheckProgressText(p)));
        position = p.position;
        QCOMPARE(p.total, int(siteCheckSteps().size()));
        said << siteCheckProgressText(p);
    }
    // The limits the check applies: the request time-out set on the component.
    QVERIFY2(said.contains("step 3 of 16: waiting for the greeting, up to 7 s"),
             qPrintable(said.join('\n')));
    QVERIFY2(said.contains("step 11 of 16: writing the test file, up to 7 s"),
             qPrintable(said.join('\n')));
}

void TestSiteCheckServers::stoppedSftpCheckEndsSoon()
{
    QTemporaryDir root;
    SftpServerProcess stalling;
    QVERIFY(startStalling(stalling, root.path()));
    auto transfer = sftpTransferTo(stalling.port(), DemoUser, DemoPassword);
    transfer->setRequestTimeout(30);
    // Stopped once the test file is written: the read-back never gets its
    // data, and the deletion never its answer.
    QElapsedTimer sinceStop;
    QObject context;
    QObject::connect(transfer.get(), &TransferComponent::siteCheckStep, &context,
                     [&](const SiteCheckStep &step) {
                         if (step.id == SiteCheckStepId::Write) {
                             transfer->Execute(QStringLiteral("ABORT"));
                             sinceStop.start();
                         }
                     });
    const CheckRun run = check(*transfer, QStringLiteral("CHECK"), {true});
    QVERIFY(sinceStop.isValid());
    const qint64 stopMs = sinceStop.elapsed();
    QVERIFY2(stopMs < StopLimitMs, qPrintable(QString::number(stopMs)));
    QVERIFY(!run.outcome.ok);
    QCOMPARE(run.outcome.info, QLatin1String(StoppedText));
    QCOMPARE(run.rows().value(int(SiteCheckStepId::Write)), QStringLiteral("pass"));
    QCOMPARE(run.rows().value(int(SiteCheckStepId::CleanUp)), QStringLiteral("warning"));
    QVERIFY2(run.detail(SiteCheckStepId::CleanUp).endsWith("may be left behind"),
             qPrintable(run.table()));
}

void TestSiteCheckServers::closingDuringCleanUpDoesNotWait()
{
    QTemporaryDir root;
    SftpServerProcess stalling;
    QVERIFY(startStalling(stalling, root.path()));
    auto transfer = sftpTransferTo(stalling.port(), DemoUser, DemoPassword);
    transfer->setRequestTimeout(30);
    bool stopped = false;
    QObject context;
    QObject::connect(transfer.get(), &TransferComponent::siteCheckStep, &context,
                     [&](const SiteCheckStep &step) {
                         if (step.id == SiteCheckStepId::Write && !stopped) {
                             stopped = true;
                             transfer->Execute(QStringLiteral("ABORT"));
                         }
                     });
    QObject::connect(transfer.get(), &TransferComponent::trustQuestion, &context,
                     [&](const TrustQuestion &) { transfer->answerTrust(true); });
    transfer->Execute(QStringLiteral("CHECK"));
    QTRY_VERIFY_WITH_TIMEOUT(stopped, 20000);
    QTest::qWait(1000); // the deletion has logged in and waits for its answer
    QElapsedTimer closing;
    closing.start();
    transfer.reset();
    QVERIFY2(closing.elapsed() < 2000, qPrintable(QString::number(closing.elapsed())));
}

QTEST_GUILESS_MAIN(TestSiteCheckServers)
#include "tst_site_check_servers.moc"
