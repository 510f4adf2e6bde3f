// CHECK against servers on loopback where the check's course matters: a
// folder the account may not write in, a stop that meets a server that
// stalls, and the progress the steps announce.
#include "site_check/site_check_clean_up.h"
#include "site_check_run.h"
#include "ssh_server_process.h"
#include "text/failure_text.h"
#include "text/report/site_check_summary.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

const QString DemoUser = QStringLiteral("demouser");
const QString DemoPassword = QStringLiteral("Dm4!check");

// A check stopped by the operator once step `at` is reported.
struct StoppedCheck
{
    QObject context;
    QElapsedTimer stopped; // since the stop
    std::unique_ptr<CurlTransfer> transfer;

    void stopAt(SiteCheckStepId at)
    {
        CurlTransfer *component = transfer.get();
        QObject::connect(component, &TransferComponent::siteCheckStep, &context,
                         [this, component, at](const SiteCheckStep &step) {
                             if (step.id == at && !stopped.isValid()) {
                                 stopped.start();
                                 component->Execute(QStringLiteral("ABORT"));
                             }
                         });
    }
};

// The demo SFTP server whose reads and deletions never answer, and a check
// of it stopped once its test file is written: the read-back never gets its
// data, nor the deletion its answer.
struct StalledSftpCheck : StoppedCheck
{
    QTemporaryDir root;
    SftpServerProcess server;

    bool start()
    {
        qputenv("SARVEL_STALL_REMOVE", "1");
        const bool started =
            server.start(root.path(), DemoUser, DemoPassword, SftpServerProcess::Reads::Stall);
        qunsetenv("SARVEL_STALL_REMOVE");
        if (!started)
            return false;
        transfer = sftpTransferTo(server.port(), DemoUser, DemoPassword);
        transfer->setRequestTimeout(30);
        stopAt(SiteCheckStepId::Write);
        return true;
    }
};

// Both servers whose deletions never answer, and a check of one of them
// stopped while its test file is there. The FTP test server answers no
// DELE: the check's own clean-up waits and is stopped, and the deletion
// after the stop waits too.
struct StalledServers
{
    StalledSftpCheck sftp;
    HostileServer ftp{"site", {"--site-stall", "DELE"}};
    StoppedCheck ftpCheck;

    // The stopped check, or nullptr when its server did not start.
    StoppedCheck *start(bool useSftp)
    {
        if (useSftp)
            return sftp.start() ? &sftp : nullptr;
        if (ftp.port() <= 0)
            return nullptr;
        ftpCheck.transfer = transferTo(ftp.address());
        ftpCheck.transfer->setRequestTimeout(30);
        ftpCheck.stopAt(SiteCheckStepId::ReadBack);
        return &ftpCheck;
    }
};

// Closes the component a second into a stopped check's deletion: how long
// that took.
qint64 closingTime(StoppedCheck &check)
{
    CurlTransfer *transfer = check.transfer.get();
    QObject::connect(transfer, &TransferComponent::trustQuestion, &check.context,
                     [transfer](const TrustQuestion &) { transfer->answerTrust(true); });
    transfer->Execute(QStringLiteral("CHECK"));
    if (!QTest::qWaitFor([&check] { return check.stopped.isValid(); }, 20000))
        return -1;
    QTest::qWait(1000); // the deletion has logged in and waits for its answer
    QElapsedTimer closing;
    closing.start();
    check.transfer.reset();
    return closing.elapsed();
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
    void missingSftpFolder();
    void progressInOrder();
    void stoppedCheckEndsSoon_data();
    void stoppedCheckEndsSoon();
    void closingDuringCleanUpDoesNotWait_data();
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

void TestSiteCheckServers::missingSftpFolder()
{
    QTemporaryDir root;
    SftpServerProcess server;
    QVERIFY(server.start(root.path(), DemoUser, DemoPassword));
    auto transfer = sftpTransferTo(server.port(), DemoUser, DemoPassword);

    const CheckRun run = check(*transfer, QStringLiteral("CHECK nosuch"), {true});
    QVERIFY(!run.outcome.ok);
    QCOMPARE(run.rows().value(int(SiteCheckStepId::Listing)), QStringLiteral("fail"));
    QVERIFY2(run.detail(SiteCheckStepId::Listing)
                 .startsWith(QLatin1String("the folder /nosuch does not exist (")),
             qPrintable(run.table()));
    QVERIFY2(run.outcome.info.endsWith("skipped: the folder /nosuch does not exist"),
             qPrintable(run.outcome.info));
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
        QVERIFY2(p.position > position, qPrintable(siteCheckProgressLine(p)));
        position = p.position;
        QCOMPARE(p.total, int(siteCheckSteps().size()));
        said << siteCheckProgressLine(p);
    }
    // The limits the check applies: the request time-out set on the component.
    QVERIFY2(said.contains("step 3 of 16: waiting for the greeting, up to 7 s"),
             qPrintable(said.join('\n')));
    QVERIFY2(said.contains("step 11 of 16: writing the test file, up to 7 s"),
             qPrintable(said.join('\n')));
}

void TestSiteCheckServers::stoppedCheckEndsSoon_data()
{
    QTest::addColumn<bool>("sftp");
    QTest::newRow("FTP") << false;
    QTest::newRow("SFTP") << true;
}

void TestSiteCheckServers::stoppedCheckEndsSoon()
{
    QFETCH(bool, sftp);
    StalledServers servers;
    StoppedCheck *stalled = servers.start(sftp);
    QVERIFY(stalled);
    const CheckRun run = check(*stalled->transfer, QStringLiteral("CHECK"), {true});
    QVERIFY(stalled->stopped.isValid());
    const qint64 stopMs = stalled->stopped.elapsed();
    QVERIFY2(stopMs < StopLimitMs, qPrintable(QString::number(stopMs)));
    QVERIFY(!run.outcome.ok);
    QCOMPARE(run.outcome.info, QLatin1String(StoppedText));
    QCOMPARE(run.rows().value(int(SiteCheckStepId::Write)), QStringLiteral("pass"));
    QCOMPARE(run.rows().value(int(SiteCheckStepId::CleanUp)), QStringLiteral("warning"));
    QVERIFY2(run.detail(SiteCheckStepId::CleanUp).endsWith("may be left behind"),
             qPrintable(run.table()));
}

void TestSiteCheckServers::closingDuringCleanUpDoesNotWait_data()
{
    stoppedCheckEndsSoon_data();
}

void TestSiteCheckServers::closingDuringCleanUpDoesNotWait()
{
    QFETCH(bool, sftp);
    StalledServers servers;
    StoppedCheck *stalled = servers.start(sftp);
    QVERIFY(stalled);
    const qint64 closingMs = closingTime(*stalled);
    QVERIFY(closingMs >= 0);
    QVERIFY2(closingMs < 2000, qPrintable(QString::number(closingMs)));
}

QTEST_GUILESS_MAIN(TestSiteCheckServers)
#include "tst_site_check_servers.moc"
