// The server's confirmation of an upload, against the test server made to
// wait before its 226: TIMEOUT sets how long it is awaited, the timing line
// shows it as a phase of its own, an upload whose data all went out but
// whose confirmation did not come says so, and CHECK warns of a slow one.
#include "transfer_run.h"

#include "text/transfer_command.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestTransferConfirm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void timeoutSaysAndSets();
    void unconfirmedUploadSaysTheDataWentOut();
    void confirmationIsAPhaseOfItsOwn();
    void checkWarnsOfASlowConfirmation();

private:
    // The test server over a fresh folder, waiting `delay` seconds before
    // the reply that confirms an upload.
    bool startServer(FtpServerProcess &server, QTemporaryDir &root, double delay)
    {
        return root.isValid() && server.start(root.path(), TestUser, TestPassword,
                                              {"--confirm-delay", QString::number(delay)});
    }
    // Seconds in the last timing line for `phase`; -1 when it names none.
    static double phaseSeconds(const Outcome &outcome, const QString &phase)
    {
        const QStringList timing = outcome.protocol.filter(QRegularExpression("^Timing: "));
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("\\b%1 ([0-9.]+) (s|ms)\\b").arg(phase))
                .match(timing.value(timing.size() - 1));
        if (!match.hasMatch())
            return -1;
        return match.captured(1).toDouble() / (match.captured(2) == QLatin1String("ms") ? 1000 : 1);
    }

    // The steps CHECK reports.
    static QMap<SiteCheckStepId, SiteCheckOutcome> checkSteps(CurlTransfer &transfer)
    {
        QMap<SiteCheckStepId, SiteCheckOutcome> steps;
        QObject context;
        QObject::connect(&transfer, &TransferComponent::siteCheckStep, &context,
                         [&](const SiteCheckStep &step) { steps.insert(step.id, step.outcome); });
        run(transfer, "CHECK");
        return steps;
    }

    QTemporaryDir m_local;
    // A server a second and a half slow to confirm, and the component
    // pointed at it with the wait it has until TIMEOUT says otherwise.
    QTemporaryDir m_slowRoot;
    FtpServerProcess m_slow;
    std::unique_ptr<CurlTransfer> slowTransfer() const
    {
        auto transfer = transferTo(m_slow.port());
        transfer->setRequestTimeout(DefaultTimeoutSeconds);
        return transfer;
    }
};

void TestTransferConfirm::initTestCase()
{
    QVERIFY(startServer(m_slow, m_slowRoot, 1.5));
}

void TestTransferConfirm::timeoutSaysAndSets()
{
    // No site is needed: the component answers itself.
    CurlTransfer transfer;
    const Outcome asked = run(transfer, "TIMEOUT");
    QVERIFY(asked.ok);
    QCOMPARE(asked.states, QList<TransferState>{TransferState::ResponseCompleted});
    QVERIFY2(
        asked.info.contains(QStringLiteral("up to %1 s (the default)").arg(DefaultTimeoutSeconds)),
        qPrintable(asked.info));
    QVERIFY(run(transfer, "timeout 45").ok);
    const Outcome again = run(transfer, "TIMEOUT");
    QVERIFY2(again.info.contains(QLatin1String("up to 45 s,")), qPrintable(again.info));
    QVERIFY(again.protocol.contains(again.info));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, transfer.Execute("TIMEOUT 0"));
}

void TestTransferConfirm::unconfirmedUploadSaysTheDataWentOut()
{
    QTemporaryDir root;
    FtpServerProcess server;
    QVERIFY(startServer(server, root, 3));
    auto transfer = transferTo(server.port());
    QVERIFY(run(*transfer, "TIMEOUT 1").ok);
    const QByteArray data(300000, 'u');
    QVERIFY(writeFile(m_local.filePath("up.bin"), data));

    QElapsedTimer clock;
    clock.start();
    const Outcome up = run(*transfer, "PUT " + m_local.filePath("up.bin"));
    QVERIFY(!up.ok);
    QCOMPARE(up.states.constLast(), TransferState::Error);
    QVERIFY2(up.info.endsWith(QLatin1String(": all 300,000 bytes were sent; the server did not "
                                            "confirm the upload within 1 s")),
             qPrintable(up.info));
    // It gave up after the time-out, not after the late reply; and what it
    // says holds: the file arrived whole.
    QVERIFY2(clock.elapsed() < 2900, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE(readFile(root.filePath("up.bin")), data);

    // CHECK's test file meets the same: its write step fails saying so.
    const SiteCheckOutcome write = checkSteps(*transfer).value(SiteCheckStepId::Write);
    QCOMPARE(write.result, SiteCheckResult::Fail);
    QVERIFY2(write.detail.startsWith(QLatin1String("all 262,144 bytes were sent; the server did "
                                                   "not confirm the upload within 1 s")),
             qPrintable(write.detail));
}

void TestTransferConfirm::confirmationIsAPhaseOfItsOwn()
{
    auto transfer = slowTransfer();
    const QByteArray data(2000000, 'c');
    QVERIFY(writeFile(m_local.filePath("big.bin"), data));

    const Outcome up = run(*transfer, "PUT " + m_local.filePath("big.bin"));
    QVERIFY2(up.ok, qPrintable(up.info));
    const QString timing = up.protocol.filter(QRegularExpression("^Timing: ")).join('\n');
    const double confirm = phaseSeconds(up, "confirm");
    QVERIFY2(confirm >= 1.4 && confirm < 2.5, qPrintable(timing));
    // The wait is no part of the transfer, nor of its rate.
    const double moved = phaseSeconds(up, "transfer");
    QVERIFY2(moved >= 0 && moved < 1.0, qPrintable(timing));
    QCOMPARE(readFile(m_slowRoot.filePath("big.bin")), data);

    // A download has no confirmation phase.
    const Outcome down = run(*transfer, "GET big.bin " + m_local.filePath("down.bin"));
    QVERIFY2(down.ok, qPrintable(down.info));
    QCOMPARE(phaseSeconds(down, "confirm"), -1.0);
}

void TestTransferConfirm::checkWarnsOfASlowConfirmation()
{
    auto transfer = slowTransfer();
    const QMap<SiteCheckStepId, SiteCheckOutcome> steps = checkSteps(*transfer);
    const SiteCheckOutcome write = steps.value(SiteCheckStepId::Write);
    QCOMPARE(write.result, SiteCheckResult::Warning);
    QVERIFY2(QRegularExpression("confirmed 1\\.[4-9] s after the last byte")
                 .match(write.detail)
                 .hasMatch(),
             qPrintable(write.detail));
    QVERIFY(!write.hint.isEmpty());
    // The file was written all the same, and read back.
    QCOMPARE(steps.value(SiteCheckStepId::ReadBack).result, SiteCheckResult::Pass);
}

QTEST_GUILESS_MAIN(TestTransferConfirm)
#include "tst_transfer_confirm.moc"
