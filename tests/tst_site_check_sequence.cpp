// The course of an FTP site's check without a server, the bookkeeping and
// clean-up both checks share, and the progress the operator reads while
// steps run. The SFTP check's course is in tst_sftp_site_check_sequence.cpp.
#include "engine/report_queue.h"
#include "site_check/rules/site_check_file_rules.h"
#include "site_check/sftp_site_check_sequence.h"
#include "site_check/site_check_clean_up.h"
#include "site_check/site_check_sequence.h"
#include "site_check_course.h"
#include "text/failure_text.h"
#include "text/report/site_check_summary.h"

#include <QTest>

using Request = SftpCheckRequest;
using Phase = SshFailureFacts::Phase;

class TestSiteCheckSequence : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ftpFolderMissing();
    void greetingNeverBeforeConnection();
    void ftpWriteRefused();
    void ftpDeletionPath();
    void progress_data();
    void progress();
    void skippedAfter();
    void cleanUp();
};

void TestSiteCheckSequence::ftpFolderMissing()
{
    Reported reported;
    SiteCheckSequence sequence({order(TransferProtocol::Ftp, {"nosuch"}),
                                RemoteFolder{}.resolved("nosuch"),
                                FileName,
                                Payload,
                                {},
                                -1},
                               reported.outlets());
    sequence.resolved({"192.0.2.7"}, 2);
    const SiteCheckTranscript t = ftpLogin(550, "No such file or directory.");
    QCOMPARE(sequence.next(SiteCheckRequest::Login, ftpFacts(), t), SiteCheckRequest::None);
    sequence.book().finish();
    // The folder's own finding, not the passive data connection's.
    QCOMPARE(reported.result(Id::PassiveData), "fail");
    QCOMPARE(reported.detail(Id::PassiveData),
             "the folder nosuch does not exist (550 No such file or directory.)");
    QCOMPARE(reported.detail(Id::PassiveAddress), "step 8 failed");
    QCOMPARE(reported.detail(Id::Ipv6), "step 8 failed");
    QVERIFY2(siteCheckVerdictLine(reported.steps)
                 .endsWith(", 1 failed, 9 skipped: the folder nosuch does not exist"),
             qPrintable(siteCheckVerdictLine(reported.steps)));
}

// libcurl's connect time may end a millisecond after this side's clock saw
// the greeting: the greeting then came at once, not before the connection.
void TestSiteCheckSequence::greetingNeverBeforeConnection()
{
    Reported reported;
    SiteCheckSequence sequence({order(TransferProtocol::Ftp, {"ro"}),
                                RemoteFolder{}.resolved("ro"),
                                FileName,
                                Payload,
                                {},
                                -1},
                               reported.outlets());
    sequence.resolved({"192.0.2.7"}, 2);
    SiteCheckRequestFacts facts = ftpFacts();
    facts.connectMs = 9; // the greeting came 10 ms after the start
    sequence.next(SiteCheckRequest::Login, facts, ftpLogin(250, "OK."));
    QCOMPARE(reported.detail(Id::Greeting), "\"220 Ready.\" after 0 ms");
}

void TestSiteCheckSequence::ftpWriteRefused()
{
    Reported reported;
    RemoteFolder ro;
    ro.absolute = true;
    ro.segments = QStringList{"ro"};
    SiteCheckSequence sequence({order(TransferProtocol::Ftp), ro, FileName, Payload, {}, -1},
                               reported.outlets());
    sequence.resolved({"192.0.2.7"}, 2);
    SiteCheckTranscript t = ftpLogin(250, "Directory changed.");
    QCOMPARE(sequence.next(SiteCheckRequest::Login, ftpFacts(), t), SiteCheckRequest::Listing);

    qsizetype from = t.size();
    exchange(t, "PASV", 227, "Entering Passive Mode (192,0,2,7,195,80).");
    exchange(t, "EPSV", 229, "Entering Extended Passive Mode (|||50000|)");
    exchange(t, "LIST", 226, "Transfer complete.");
    exchange(t, "SIZE " + FileName, 550, "No such file.");
    SiteCheckRequestFacts listing = ftpFacts(from);
    listing.received = "-rw-r--r-- 1 op op 5 Jan 1 00:00 a.txt\r\n";
    QCOMPARE(sequence.next(SiteCheckRequest::Listing, listing, t), SiteCheckRequest::Upload);

    from = t.size();
    exchange(t, "STOR " + FileName, 553, "Could not create file.");
    SiteCheckRequestFacts upload = ftpFacts(from);
    upload.result = CURLE_UPLOAD_FAILED;
    QCOMPARE(sequence.next(SiteCheckRequest::Upload, upload, t), SiteCheckRequest::Active);

    from = t.size();
    exchange(t, "EPRT |1|192.0.2.1|40000|", 200, "EPRT command successful.");
    exchange(t, "LIST", 226, "Transfer complete.");
    QCOMPARE(sequence.next(SiteCheckRequest::Active, ftpFacts(from), t), SiteCheckRequest::None);
    sequence.book().finish();

    const SiteCheckStep *write = reported.find(Id::Write);
    QVERIFY(write);
    QCOMPARE(write->outcome.result, Result::Warning);
    QVERIFY(write->outcome.detail.startsWith(writeRefusedText("/ro") + " (553 "));
    QVERIFY(!write->outcome.hint.isEmpty());
    for (const Id id : {Id::Verify, Id::ReadBack, Id::CleanUp})
        QCOMPARE(reported.detail(id), "step 11 gave a warning");
    QCOMPARE(reported.steps.size(), siteCheckSteps().size());
    // No TLS (steps 4, 5 and 10), no IPv6 (16), and the three after the write.
    QCOMPARE(siteCheckVerdictLine(reported.steps),
             "Site check: 8 passed, 2 warnings, 0 failed, 6 skipped: the account cannot write "
             "in /ro");
    QCOMPARE(siteCheckVerdict(reported.steps), Result::Warning);
}

void TestSiteCheckSequence::ftpDeletionPath()
{
    // The test file is deleted by its path from the root, whatever folder
    // the connection is in, once the login has said where it starts.
    Reported reported;
    SiteCheckSequence sequence({order(TransferProtocol::Ftp, {"in"}),
                                RemoteFolder{}.resolved("in"),
                                FileName,
                                Payload,
                                {},
                                -1},
                               reported.outlets());
    QCOMPARE(sequence.deletionPath(), "in/" + FileName);
    sequence.resolved({"192.0.2.7"}, 2);
    SiteCheckTranscript t = ftpLogin(250, "Directory changed.");
    exchange(t, "PWD", 257, "\"/home/op\" is the current directory.");
    QCOMPARE(sequence.next(SiteCheckRequest::Login, ftpFacts(), t), SiteCheckRequest::Listing);
    QCOMPARE(sequence.deletionPath(), "/home/op/in/" + FileName);
}

void TestSiteCheckSequence::progress_data()
{
    QTest::addColumn<bool>("sftp");
    QTest::addColumn<QStringList>("events"); // in turn, as the operation sees them
    QTest::addColumn<QStringList>("texts");  // the progress said, in order
    QTest::newRow("FTP login") << false << QStringList{"resolving", "start Login",  "connecting",
                                                       "connected", "sent USER op", "sent PASS x",
                                                       "sent FEAT", "sent SYST"}
                               << QStringList{"step 1 of 16: resolving the name",
                                              "step 2 of 16: connecting, up to 10 s",
                                              "step 3 of 16: waiting for the greeting, up to 10 s",
                                              "step 6 of 16: logging in, up to 10 s",
                                              "step 7 of 16: asking for the features, up to 10 s"};
    QTest::newRow("FTP test file")
        << false << QStringList{"start Listing",  "start Upload",  "sent STOR f",  "sent SIZE f",
                                "start ReadBack", "start CleanUp", "start Active", "start Ipv6"}
        << QStringList{"step 8 of 16: listing in passive mode, up to 10 s",
                       "step 11 of 16: writing the test file, up to 10 s",
                       "step 12 of 16: verifying the test file, up to 10 s",
                       "step 13 of 16: reading the test file back, up to 10 s",
                       "step 14 of 16: deleting the test file, up to 10 s",
                       "step 15 of 16: listing in active mode, up to 10 s",
                       "step 16 of 16: logging in over IPv6, up to 10 s"};
    QTest::newRow("SFTP")
        << true << QStringList{"resolving",         "start Login",          "connecting",
                               "reached Connected", "reached KeyExchanged", "reached LoggingIn",
                               "reached LoggedIn",  "start Listing",        "start Upload",
                               "start Verify",      "start ReadBack",       "start Delete",
                               "start Gone"}
        << QStringList{"step 1 of 14: resolving the name",
                       "step 2 of 14: connecting, up to 10 s",
                       "step 3 of 14: waiting for the SSH version, up to 10 s",
                       "step 6 of 14: logging in, up to 10 s",
                       "step 8 of 14: asking for the home folder, up to 10 s",
                       "step 9 of 14: listing the folder, up to 10 s",
                       "step 11 of 14: writing the test file, up to 10 s",
                       "step 12 of 14: verifying the test file, up to 10 s",
                       "step 13 of 14: reading the test file back, up to 10 s",
                       "step 14 of 14: deleting the test file, up to 10 s"};
}

void TestSiteCheckSequence::progress()
{
    QFETCH(bool, sftp);
    QFETCH(QStringList, events);
    QFETCH(QStringList, texts);
    Reported reported;
    SiteCheckSequence ftp({order(TransferProtocol::Ftp), {}, FileName, Payload, {}, -1},
                          reported.outlets());
    SftpSiteCheckSequence ssh({order(TransferProtocol::Sftp), FileName, Payload},
                              reported.outlets());
    const auto ftpRequest = [](const QString &name) {
        const QStringList names{"Login",   "Listing", "Upload", "ReadBack",
                                "CleanUp", "Active",  "Ipv6"};
        return SiteCheckRequest(names.indexOf(name));
    };
    const auto sftpRequest = [](const QString &name) {
        const QStringList names{"Login",    "Listing", "Upload", "Verify",
                                "ReadBack", "Delete",  "Gone"};
        return Request(names.indexOf(name));
    };
    SiteCheckRequest running = SiteCheckRequest::Login;
    for (const QString &event : events) {
        const QString what = event.section(' ', 0, 0);
        const QString rest = event.section(' ', 1);
        if (what == "resolving")
            sftp ? ssh.resolving() : ftp.resolving();
        else if (what == "connecting")
            sftp ? ssh.connecting() : ftp.connecting();
        else if (what == "connected")
            ftp.connected();
        else if (what == "reached")
            ssh.reached(Phase(
                QStringList{"Connecting", "Connected", "KeyExchanged", "LoggingIn", "LoggedIn"}
                    .indexOf(rest)));
        else if (what == "sent")
            ftp.sent(running, rest);
        else if (sftp)
            ssh.started(sftpRequest(rest));
        else
            ftp.started(running = ftpRequest(rest));
    }
    QStringList said;
    int position = 0;
    for (const SiteCheckProgress &p : reported.progress) {
        said << siteCheckProgressLine(p);
        QVERIFY(p.position > position); // in order, each step once
        position = p.position;
    }
    QCOMPARE(said, texts);
}

void TestSiteCheckSequence::skippedAfter()
{
    Reported reported;
    SiteCheckBook book(siteCheckSteps(), reported.outlets());
    book.report(step(Id::NameResolution, Result::Pass, "192.0.2.7"));
    book.report(step(Id::Connection, Result::Fail, "nothing accepts connections"));
    book.report(step(Id::Connection, Result::Pass, "reported twice")); // the first stands
    book.skipAfter(Id::Connection, Id::Greeting, Id::Login);
    book.begin(Id::Login, 10); // reported already: no progress
    const OperationOutcome outcome = book.finish();
    QCOMPARE(reported.steps.size(), siteCheckSteps().size());
    QCOMPARE(reported.detail(Id::Connection), "nothing accepts connections");
    QCOMPARE(reported.detail(Id::Greeting), "step 2 failed");
    QCOMPARE(reported.detail(Id::Login), "step 2 failed");
    QCOMPARE(reported.detail(Id::Features), "the check ended before this step");
    QVERIFY(reported.progress.isEmpty());
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.failure, "Site check: 1 passed, 0 warnings, 1 failed, 14 skipped: nothing "
                              "accepts connections");

    Reported stopped;
    SiteCheckBook stoppedBook(sftpSiteCheckSteps(), stopped.outlets());
    stoppedBook.report(step(Id::NameResolution, Result::Pass, "192.0.2.7"));
    const OperationOutcome end = stoppedBook.stopped();
    QVERIFY(!end.ok);
    QCOMPARE(end.failure, QLatin1String(StoppedText));
    QCOMPARE(end.summary, "Site check: 1 passed, 0 warnings, 0 failed, 13 skipped: " +
                              QLatin1String(StoppedText));
}

void TestSiteCheckSequence::cleanUp()
{
    Reported reported;
    SiteCheckBook book(siteCheckSteps(), reported.outlets());
    ReportQueue reports([](EngineReports &&) {}, nullptr);
    int setUps = 0;
    const auto setUp = [&setUps] { ++setUps; };

    // No test file: nothing to delete, the check ends at once.
    SiteCheckCleanUp none;
    const auto endNone = [&] { return none.stopped(book, reports, "ro/f.tmp"); };
    QCOMPARE(none.stopping(false, book, reports, setUp, endNone).kind,
             OperationStep::Kind::Finished);
    QCOMPARE(setUps, 0);
    QCOMPARE(reported.detail(Id::CleanUp), QLatin1String(StoppedText));

    reported = {};
    SiteCheckBook running(siteCheckSteps(), reported.outlets());
    SiteCheckCleanUp cleanUp;
    const auto end = [&] { return cleanUp.stopped(running, reports, "ro/f.tmp"); };
    QCOMPARE(cleanUp.stopping(true, running, reports, setUp, end).kind,
             OperationStep::Kind::Continue);
    QCOMPARE(setUps, 1);
    QVERIFY(cleanUp.running());
    QCOMPARE(reported.progress.size(), 1);
    QCOMPARE(reported.progress.first().id, Id::CleanUp);
    QCOMPARE(reported.progress.first().limitSeconds, SiteCheckCleanUp::LimitSeconds);
    QCOMPARE(SiteCheckCleanUp::limited(order(TransferProtocol::Ftp)).timeoutSeconds,
             SiteCheckCleanUp::LimitSeconds);
    // Stopped again while it runs: it ends now, and the file may be left behind.
    const OperationStep again = cleanUp.stopping(true, running, reports, setUp, end);
    QCOMPARE(again.kind, OperationStep::Kind::Finished);
    QCOMPARE(setUps, 1);
    QVERIFY(!cleanUp.running());
    QCOMPARE(again.outcome.failure, QLatin1String(StoppedText));
    QCOMPARE(reported.result(Id::CleanUp), "warning");
    QVERIFY(reported.detail(Id::CleanUp).endsWith("ro/f.tmp may be left behind"));

    // A deletion that cannot be set up ends the check the same way.
    Reported failing;
    SiteCheckBook failingBook(siteCheckSteps(), failing.outlets());
    SiteCheckCleanUp broken;
    const auto endBroken = [&] { return broken.stopped(failingBook, reports, "f.tmp"); };
    QCOMPARE(broken
                 .stopping(
                     true, failingBook, reports, [] { throw std::runtime_error("no handle"); },
                     endBroken)
                 .kind,
             OperationStep::Kind::Finished);
    QCOMPARE(failing.result(Id::CleanUp), "warning");
}

QTEST_GUILESS_MAIN(TestSiteCheckSequence)
#include "tst_site_check_sequence.moc"
