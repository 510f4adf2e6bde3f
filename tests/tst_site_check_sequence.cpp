// The courses of both site checks without a server: what each request's
// facts make of the steps, which request follows, what the skipped rows and
// the verdict say, and the progress the operator reads while steps run.
#include "engine/report_queue.h"
#include "site_check/sftp_site_check_sequence.h"
#include "site_check/site_check_clean_up.h"
#include "site_check/site_check_file_rules.h"
#include "site_check/site_check_sequence.h"
#include "site_check_support.h"
#include "text/failure_text.h"

#include <QTest>

using Request = SftpCheckRequest;
using Id = SiteCheckStepId;
using Phase = SshFailureFacts::Phase;
Q_DECLARE_METATYPE(SftpCheckRequest)

namespace {

// What a check reported, through its book's outlets.
struct Reported
{
    QList<SiteCheckStep> steps;
    QList<SiteCheckProgress> progress;

    SiteCheckBook::Outlets outlets()
    {
        return {[this](const SiteCheckStep &s) { steps << s; },
                [this](const SiteCheckProgress &p) { progress << p; }};
    }
    const SiteCheckStep *find(Id id) const
    {
        for (const SiteCheckStep &s : steps)
            if (s.id == id)
                return &s;
        return nullptr;
    }
    QString result(Id id) const
    {
        const SiteCheckStep *s = find(id);
        return s ? siteCheckResultWord(s->outcome.result) : QStringLiteral("none");
    }
    QString detail(Id id) const
    {
        const SiteCheckStep *s = find(id);
        return s ? s->outcome.detail : QString();
    }
};

OperationOrder order(TransferProtocol protocol, const QStringList &args = {})
{
    OperationOrder o;
    o.command = {FtpVerb::Check, args};
    o.protocol = protocol;
    o.host = QStringLiteral("files.example");
    o.port = protocol == TransferProtocol::Sftp ? 22 : 21;
    o.user = QStringLiteral("op");
    o.timeoutSeconds = 10;
    return o;
}

const QString FileName = QStringLiteral("sarvel-check-test.tmp");
const QByteArray Payload("payload\r\n\x1a");

// An SFTP login that got as far as `phase`, with a host key known_hosts knows.
SftpCheckFacts sftpLogin(Phase phase, CURLcode result = CURLE_OK)
{
    SftpCheckFacts f;
    f.result = result;
    f.phase = phase;
    f.peer = QStringLiteral("192.0.2.7");
    f.connectMs = 3;
    f.session = SshSessionFacts{QStringLiteral("SSH-2.0-OpenSSH_9.2"),
                                QStringLiteral("curve25519-sha256"), QStringLiteral("ssh-ed25519"),
                                QStringLiteral("aes128-ctr"), QStringLiteral("hmac-sha2-256")};
    if (phase >= Phase::KeyExchanged) {
        HostKeyVerdict key;
        key.action = HostKeyVerdict::Action::Accept;
        key.keyType = QStringLiteral("ssh-ed25519");
        key.fingerprint = QStringLiteral("SHA256:abc");
        key.knownHosts = true;
        f.hostKey = key;
    }
    f.offeredMethods = QStringLiteral("publickey,password");
    f.method = QStringLiteral("password");
    f.pwd = QStringLiteral("257 \"/home/op\" is current directory.");
    return f;
}

SftpCheckFacts failed(CURLcode result, const QString &error)
{
    SftpCheckFacts f;
    f.result = result;
    f.error = error;
    f.elapsedMs = 5;
    return f;
}

} // namespace

// The requests of an SFTP check in turn, each with what it saw.
struct Course
{
    QList<Request> requests;
    QList<SftpCheckFacts> facts;

    Course &then(Request request, const SftpCheckFacts &f)
    {
        requests << request;
        facts << f;
        return *this;
    }
};
Q_DECLARE_METATYPE(Course)

namespace {

Course loggedIn()
{
    return Course().then(Request::Login, sftpLogin(Phase::LoggedIn));
}

Course listed()
{
    SftpCheckFacts listing;
    listing.received = ".\n..\na.txt\nb.txt\n";
    return loggedIn().then(Request::Listing, listing);
}

Course written()
{
    SftpCheckFacts upload;
    upload.sent = Payload.size();
    upload.fileMayExist = true;
    upload.uploadEndedUtc = Now;
    SftpCheckFacts verify;
    verify.size = Payload.size();
    verify.modified = Now.toSecsSinceEpoch();
    verify.uploadEndedUtc = Now;
    return listed().then(Request::Upload, upload).then(Request::Verify, verify);
}

Course readBack()
{
    SftpCheckFacts read;
    read.received = Payload;
    read.elapsedMs = 4;
    return written().then(Request::ReadBack, read);
}

} // namespace

class TestSiteCheckSequence : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sftpCourse_data();
    void sftpCourse();
    void ftpFolderMissing();
    void ftpWriteRefused();
    void progress_data();
    void progress();
    void skippedAfter();
    void cleanUp();
};

void TestSiteCheckSequence::sftpCourse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Course>("course");
    QTest::addColumn<Request>("next");     // after the course's last request
    QTest::addColumn<QStringList>("rows"); // "step number:result word[:start of the detail]"
    QTest::addColumn<QString>("verdict");

    SftpCheckFacts gone = failed(CURLE_REMOTE_FILE_NOT_FOUND, "No such file or directory");
    QTest::newRow("every step passes")
        << QStringList() << readBack().then(Request::Delete, {}).then(Request::Gone, gone)
        << Request::None << QStringList{"1:pass",  "5:pass",  "8:pass:/home/op", "9:pass:2 entries",
                                        "11:pass", "12:pass", "13:pass",         "14:pass"}
        << "Site check: 14 passed, 0 warnings, 0 failed";

    SftpCheckFacts refused = sftpLogin(Phase::Connecting, CURLE_COULDNT_CONNECT);
    refused.osErrno = ECONNREFUSED;
    refused.session.reset();
    QTest::newRow("nothing listens")
        << QStringList() << Course().then(Request::Login, refused) << Request::None
        << QStringList{"1:pass", "2:fail", "3:skipped:step 2 failed", "14:skipped:step 2 failed"}
        << "Site check: 1 passed, 0 warnings, 1 failed, 12 skipped: ";

    SftpCheckFacts changed = sftpLogin(Phase::KeyExchanged, CURLE_PEER_FAILED_VERIFICATION);
    changed.hostKey->action = HostKeyVerdict::Action::Refuse;
    changed.refusal = "Another key is known for this server.";
    QTest::newRow("host key refused")
        << QStringList() << Course().then(Request::Login, changed) << Request::None
        << QStringList{"5:fail", "6:skipped:step 5 failed", "9:skipped:step 5 failed"}
        << "Site check: 4 passed, 0 warnings, 1 failed, 9 skipped: the host key was refused: "
           "nothing of the account was sent";

    QTest::newRow("login refused")
        << QStringList()
        << Course().then(Request::Login, sftpLogin(Phase::LoggingIn, CURLE_LOGIN_DENIED))
        << Request::None << QStringList{"6:fail", "7:pass", "8:skipped:step 6 failed"}
        << "Site check: 6 passed, 0 warnings, 1 failed, 7 skipped: the server refused the login "
           "of op by password";

    QTest::newRow("folder missing")
        << QStringList{"nosuch"}
        << loggedIn().then(Request::Listing,
                           failed(CURLE_REMOTE_FILE_NOT_FOUND, "No such file or directory"))
        << Request::None
        << QStringList{"9:fail:the folder /home/op/nosuch does not exist (",
                       "10:skipped:step 9 failed", "11:skipped:step 9 failed"}
        << "Site check: 8 passed, 0 warnings, 1 failed, 5 skipped: the folder /home/op/nosuch "
           "does not exist";

    QTest::newRow("write refused")
        << QStringList{"/ro"}
        << listed().then(Request::Upload,
                         failed(CURLE_UPLOAD_FAILED, "Upload failed: Permission denied (3/-31)"))
        << Request::None
        << QStringList{"11:warning:the account cannot write in /ro (", "12:skipped:step 11 gave",
                       "13:skipped:step 11 gave", "14:skipped:step 11 gave"}
        << "Site check: 10 passed, 1 warning, 0 failed, 3 skipped: the account cannot write in /ro";

    SftpCheckFacts broken = failed(CURLE_SEND_ERROR, "Send failure");
    broken.fileMayExist = true;
    QTest::newRow("upload broke off, file may be there")
        << QStringList() << listed().then(Request::Upload, broken) << Request::Delete
        << QStringList{"11:fail", "12:skipped:step 11 failed", "13:skipped:step 11 failed"}
        << "Site check: 10 passed, 0 warnings, 1 failed, 2 skipped: the upload failed";

    SftpCheckFacts taken;
    taken.received = FileName.toUtf8() + "\n";
    QTest::newRow("test file's name taken")
        << QStringList() << loggedIn().then(Request::Listing, taken) << Request::None
        << QStringList{"9:pass", "11:skipped:/home/op/" + FileName + " exists already"}
        << "Site check: 10 passed, 0 warnings, 0 failed, 4 skipped: /home/op/" + FileName;

    QTest::newRow("rm refused")
        << QStringList()
        << readBack().then(Request::Delete,
                           failed(CURLE_QUOTE_ERROR, "rm command failed: Permission denied"))
        << Request::None << QStringList{"13:pass", "14:warning:rm refused (Permission denied"}
        << "Site check: 13 passed, 1 warning, 0 failed";
}

void TestSiteCheckSequence::sftpCourse()
{
    QFETCH(QStringList, args);
    QFETCH(Course, course);
    QFETCH(QStringList, rows);
    QFETCH(QString, verdict);
    Reported reported;
    SftpSiteCheckSequence sequence({order(TransferProtocol::Sftp, args), FileName, Payload},
                                   reported.outlets());
    sequence.resolved({"192.0.2.7"}, 2);
    Request next = Request::None;
    for (qsizetype i = 0; i < course.requests.size(); ++i) {
        // Each request is the one the last asked for.
        if (i > 0)
            QCOMPARE(next, course.requests.at(i));
        next = sequence.next(course.requests.at(i), course.facts.at(i));
    }
    QTEST(next, "next");
    if (next == Request::None)
        sequence.book().finish();
    for (const QString &row : rows) {
        const QStringList cells = row.split(':');
        const Id id = sftpSiteCheckSteps().at(cells.at(0).toInt() - 1);
        QVERIFY2(reported.result(id) == cells.at(1), qPrintable(row + " | " + reported.detail(id)));
        if (cells.size() > 2)
            QVERIFY2(reported.detail(id).startsWith(cells.mid(2).join(':')),
                     qPrintable(row + " | " + reported.detail(id)));
    }
    if (next == Request::None) {
        QCOMPARE(reported.steps.size(), sftpSiteCheckSteps().size());
        const QString line = siteCheckVerdictLine(reported.steps);
        QVERIFY2(line.startsWith(verdict), qPrintable(line));
    }
}

namespace {

// An FTP login's replies, up to CWD into the check's folder.
SiteCheckTranscript ftpLogin(int cwdCode, const QString &cwdText)
{
    SiteCheckTranscript t;
    qint64 ms = 10;
    t.replied({220, "220 Ready."}, ms);
    const QList<std::pair<QString, FtpReply>> exchanges{
        {"USER op", {331, "331 Password, please."}},
        {"PASS ****", {230, "230 Logged in."}},
        {"SYST", {215, "215 UNIX Type: L8"}},
        {"FEAT", {211, "211-Features:\n UTF8\n SIZE\n211 End"}},
        {"CWD ro", {cwdCode, QStringLiteral("%1 %2").arg(cwdCode).arg(cwdText)}},
    };
    for (const auto &[command, reply] : exchanges) {
        t.sent(command, ms += 5);
        t.replied(reply, ms += 5);
    }
    return t;
}

SiteCheckRequestFacts ftpFacts(const SiteCheckTranscript &t, qsizetype from = 0)
{
    SiteCheckRequestFacts f;
    f.connected = true;
    f.connectMs = 3;
    f.peer = QStringLiteral("192.0.2.7:21");
    f.from = from;
    f.elapsedMs = 20;
    (void)t;
    return f;
}

void exchange(SiteCheckTranscript &t, const QString &command, int code, const QString &text)
{
    t.sent(command, 100);
    t.replied({code, QStringLiteral("%1 %2").arg(code).arg(text)}, 110);
}

} // namespace

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
    QCOMPARE(sequence.next(SiteCheckRequest::Login, ftpFacts(t), t), SiteCheckRequest::None);
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
    QCOMPARE(sequence.next(SiteCheckRequest::Login, ftpFacts(t), t), SiteCheckRequest::Listing);

    qsizetype from = t.size();
    exchange(t, "PASV", 227, "Entering Passive Mode (192,0,2,7,195,80).");
    exchange(t, "EPSV", 229, "Entering Extended Passive Mode (|||50000|)");
    exchange(t, "LIST", 226, "Transfer complete.");
    exchange(t, "SIZE " + FileName, 550, "No such file.");
    SiteCheckRequestFacts listing = ftpFacts(t, from);
    listing.received = "-rw-r--r-- 1 op op 5 Jan 1 00:00 a.txt\r\n";
    QCOMPARE(sequence.next(SiteCheckRequest::Listing, listing, t), SiteCheckRequest::Upload);

    from = t.size();
    exchange(t, "STOR " + FileName, 553, "Could not create file.");
    SiteCheckRequestFacts upload = ftpFacts(t, from);
    upload.result = CURLE_UPLOAD_FAILED;
    QCOMPARE(sequence.next(SiteCheckRequest::Upload, upload, t), SiteCheckRequest::Active);

    from = t.size();
    exchange(t, "EPRT |1|192.0.2.1|40000|", 200, "EPRT command successful.");
    exchange(t, "LIST", 226, "Transfer complete.");
    QCOMPARE(sequence.next(SiteCheckRequest::Active, ftpFacts(t, from), t), SiteCheckRequest::None);
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
        said << siteCheckProgressText(p);
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
