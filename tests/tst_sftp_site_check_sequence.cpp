// The course of an SFTP site's check without a server: what each request's
// facts make of the steps, which request follows, and what the skipped rows
// and the verdict say.
#include "site_check/sftp_site_check_sequence.h"
#include "site_check_course.h"

#include <QTest>

#include <cerrno>

using Request = SftpCheckRequest;
using Phase = SshFailureFacts::Phase;
Q_DECLARE_METATYPE(SftpCheckRequest)

namespace {

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

class TestSftpSiteCheckSequence : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sftpCourse_data();
    void sftpCourse();
};

void TestSftpSiteCheckSequence::sftpCourse_data()
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

void TestSftpSiteCheckSequence::sftpCourse()
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

QTEST_GUILESS_MAIN(TestSftpSiteCheckSequence)
#include "tst_sftp_site_check_sequence.moc"
