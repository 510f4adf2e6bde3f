// SFTP sites through the real component, against the demo SFTP server
// (password logins) and OpenSSH's sshd (key logins), both on loopback.
#include "ssh_server_process.h"
#include "text/failure_text.h"
#include "text/operator_log.h"
#include "text/report/site_check_report.h"
#include "transfer_run.h"

#include <QTest>

namespace {

const QString DemoUser = QStringLiteral("demouser");
const QString DemoPassword = QStringLiteral("Sx7!pw q\"z");

QString chunk(CurlTransfer &transfer)
{
    return transfer.GetChunk(1 << 20);
}

// CHECK run to its end: each step as reported, by its id.
struct CheckRun
{
    Outcome outcome;
    QList<SiteCheckStepId> order;
    QHash<SiteCheckStepId, SiteCheckOutcome> steps;
};

CheckRun runCheck(CurlTransfer &transfer, const QString &command, QList<bool> answers)
{
    CheckRun check;
    QObject context;
    QObject::connect(&transfer, &TransferComponent::siteCheckStep, &context,
                     [&](const SiteCheckStep &step) {
                         check.order << step.id;
                         check.steps.insert(step.id, step.outcome);
                     });
    check.outcome = run(transfer, command, std::move(answers));
    return check;
}

} // namespace

class TestTransferSftp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void commands_data();
    void commands();
    void folderIsKeptHere();
    void namesThatNeedEncoding();
    void serverWithoutSsh_data();
    void serverWithoutSsh();
    void wrongPasswordIsTriedOnce();
    void declinedHostKeySendsNothing();
    void trustedHostKeyKeyLogin();
    void knownHostsDecides();
    void siteCheck();
    void siteCheckReadOnlyKeyLogin();
    void stoppedSiteCheckDeletesItsFile();
    void siteCheckRefusedHostKey_data();
    void siteCheckRefusedHostKey();
    void failedLookupLeavesNothingBehind();

private:
    std::unique_ptr<CurlTransfer> demo(const QString &password = DemoPassword)
    {
        return sftpTransferTo(m_demo.port(), DemoUser, password);
    }
    QString served(const QString &name) const { return m_root.filePath(name); }

    QTemporaryDir m_root;
    QTemporaryDir m_local;
    SftpServerProcess m_demo;
};

void TestTransferSftp::initTestCase()
{
    QVERIFY2(m_demo.start(m_root.path(), DemoUser, DemoPassword),
             "the demo SFTP server did not start (python3-asyncssh)");
    // No operator's known_hosts, keys or agent play a part unless a test puts them there.
    static QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qunsetenv("SSH_AUTH_SOCK");
}

void TestTransferSftp::init()
{
    QDir(m_root.path()).removeRecursively();
    QDir().mkpath(served("sub"));
    QVERIFY(writeFile(served("a.txt"), "hello"));
    QVERIFY(writeFile(served("sub/b.txt"), "bee"));
}

void TestTransferSftp::commands_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("code"); // the SFTP status shown at the end
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::addColumn<QString>("chunk"); // what GetChunk holds, when it holds something
    const QStringList none;
    QTest::newRow("MKDIR") << "MKDIR new" << 0 << QStringList{"new/"} << none << "";
    QTest::newRow("MKDIR existing") << "MKDIR sub" << 4 << none << none << "";
    QTest::newRow("RMDIR") << "RMDIR sub/inner" << 2 << QStringList{"sub/"} << none << "";
    QTest::newRow("RMDIR full") << "RMDIR sub" << 4 << QStringList{"sub/b.txt"} << none << "";
    QTest::newRow("DELETE") << "DELETE a.txt" << 0 << none << QStringList{"a.txt"} << "";
    QTest::newRow("DELETE missing") << "DELETE missing.txt" << 2 << none << none << "";
    QTest::newRow("RENAME") << "RENAME a.txt sub/c.txt" << 0 << QStringList{"sub/c.txt"}
                            << QStringList{"a.txt"} << "";
    // SFTP version 3 renames onto no existing name.
    QTest::newRow("RENAME onto") << "RENAME a.txt sub/b.txt" << 4 << QStringList{"a.txt"} << none
                                 << "";
    QTest::newRow("SIZE") << "SIZE sub/b.txt" << 0 << none << none << "3";
    QTest::newRow("SIZE missing") << "SIZE nope.txt" << 2 << none << none << "";
    QTest::newRow("GET") << "GET a.txt" << 0 << none << none << "hello";
    QTest::newRow("GET missing") << "GET nope.txt" << 2 << none << none << "";
    QTest::newRow("LS") << "LS sub" << 0 << none << none << "b.txt\n";
    QTest::newRow("DIR missing") << "DIR nowhere" << 2 << none << none << "";
    QTest::newRow("PWD") << "PWD" << 0 << none << none << "/";
    QTest::newRow("CLOSE") << "CLOSE" << 0 << none << none << "";
}

void TestTransferSftp::commands()
{
    QFETCH(QString, operation);
    QFETCH(int, code);
    auto transfer = demo();
    const Outcome outcome = run(*transfer, operation, {true});
    QCOMPARE(outcome.ok, code == 0);
    QCOMPARE(outcome.states.count(TransferState::Error) +
                 outcome.states.count(TransferState::ResponseCompleted),
             1);
    QCOMPARE(outcome.states.last(),
             code == 0 ? TransferState::ResponseCompleted : TransferState::Error);
    QCOMPARE(outcome.code, code);
    if (code > 0)
        QVERIFY2(outcome.info.endsWith(QStringLiteral("(SFTP status %1)").arg(code)),
                 qPrintable(outcome.info));
    QFETCH(QStringList, present);
    for (const QString &name : present)
        QVERIFY2(name.endsWith('/') ? QFileInfo(served(name)).isDir()
                                    : QFileInfo(served(name)).isFile(),
                 qPrintable(name));
    QFETCH(QStringList, absent);
    for (const QString &name : absent)
        QVERIFY2(!QFileInfo::exists(served(name)), qPrintable(name));
    QFETCH(QString, chunk);
    if (!chunk.isEmpty())
        QCOMPARE(::chunk(*transfer), chunk);
}

void TestTransferSftp::folderIsKeptHere()
{
    auto transfer = demo();
    QVERIFY(run(*transfer, "CD sub", {true}).ok);
    QCOMPARE(transfer->currentFolder(), "/sub");
    QVERIFY(run(*transfer, "PWD").ok);
    QCOMPARE(chunk(*transfer), "/sub");
    // Relative names are taken against this folder, not the login folder.
    QVERIFY(run(*transfer, "MKDIR deeper").ok);
    QVERIFY(QFileInfo(served("sub/deeper")).isDir());
    const Outcome missing = run(*transfer, "CD nowhere");
    QVERIFY(!missing.ok);
    QCOMPARE(missing.code, 2);
    QCOMPARE(transfer->currentFolder(), "/sub");
    QVERIFY(run(*transfer, "CDUP").ok);
    QCOMPARE(transfer->currentFolder(), "/");
    // A pooled login: no new connection, no question.
    const Outcome again = run(*transfer, "DIR");
    QVERIFY(again.ok && !again.states.contains(TransferState::Connecting));
    QVERIFY(chunk(*transfer).contains("a.txt"));
    // A failed download leaves the old local file as it was.
    const QString local = m_local.filePath(QStringLiteral("kept.txt"));
    QVERIFY(writeFile(local, "old"));
    QVERIFY(!run(*transfer, "GET nope.txt " + local).ok);
    QCOMPARE(readFile(local), "old");
    // CLOSE drops the login; the next command logs in again, with the host
    // key still trusted.
    QVERIFY(run(*transfer, "CLOSE").states.contains(TransferState::Disconnected));
    const Outcome relogin = run(*transfer, "PWD");
    QVERIFY(relogin.ok && relogin.states.contains(TransferState::Connecting));
    QVERIFY(relogin.questions.isEmpty());
    QCOMPARE(chunk(*transfer), "/");
}

void TestTransferSftp::namesThatNeedEncoding()
{
    const QString name = QStringLiteral("ä b#?%'\\x.txt");
    const QString local = m_local.filePath(QStringLiteral("source.txt"));
    QVERIFY(writeFile(local, "payload"));
    auto transfer = demo();
    QVERIFY(run(*transfer, QStringLiteral("MKDIR \"%1\"").arg(name), {true}).ok);
    QVERIFY(QFileInfo(served(name)).isDir());
    QVERIFY(run(*transfer, QStringLiteral("CD \"%1\"").arg(name)).ok);
    QVERIFY(run(*transfer, QStringLiteral("PUT %1 \"%2\"").arg(local, name)).ok);
    QCOMPARE(readFile(served(name + '/' + name)), "payload");
    const QString back = m_local.filePath(QStringLiteral("back.txt"));
    QVERIFY(run(*transfer, QStringLiteral("GET \"%1\" %2").arg(name, back)).ok);
    QCOMPARE(readFile(back), "payload");
    QVERIFY(run(*transfer, QStringLiteral("DELETE \"%1\"").arg(name)).ok);
    QVERIFY(!QFileInfo::exists(served(name + '/' + name)));
}

void TestTransferSftp::serverWithoutSsh_data()
{
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("text");
    QTest::newRow("silent") << false << "sent no SSH greeting or key exchange within 1 s";
    QTest::newRow("closes") << true << "sent no SSH greeting (";
}

void TestTransferSftp::serverWithoutSsh()
{
    QFETCH(bool, closes);
    QFETCH(QString, text);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    if (closes)
        connect(&server, &QTcpServer::newConnection, &server,
                [&server] { delete server.nextPendingConnection(); });
    auto transfer = sftpTransferTo(server.serverPort(), DemoUser, DemoPassword);
    transfer->setRequestTimeout(1);
    const Outcome outcome = run(*transfer, "PWD");
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.code, 0);
    QVERIFY2(outcome.info.contains(text), qPrintable(outcome.info));
    QVERIFY(!outcome.states.contains(TransferState::Requesting));
}

void TestTransferSftp::wrongPasswordIsTriedOnce()
{
    const int before = m_demo.output().count(QStringLiteral("login attempt"));
    auto transfer = demo(QStringLiteral("Wr0ngPw#7"));
    const Outcome outcome = run(*transfer, "PWD", {true});
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states.last(), TransferState::Error);
    QVERIFY2(outcome.info.contains("refused the login"), qPrintable(outcome.info));
    QTest::qWait(200);
    QCOMPARE(m_demo.output().count(QStringLiteral("login attempt")) - before, 1);
    // The right password never shows either.
    const Outcome good = run(*demo(), "PWD", {true});
    QVERIFY(good.ok && !good.protections.filter(QRegularExpression("^SSH \\S+$")).isEmpty());
    for (const Outcome &seen : {outcome, good})
        QVERIFY(!seen.shows(DemoPassword) && !seen.shows(QStringLiteral("Wr0ngPw#7")));
}

void TestTransferSftp::declinedHostKeySendsNothing()
{
    const int before = m_demo.output().count(QStringLiteral("login attempt"));
    auto transfer = demo();
    const Outcome outcome = run(*transfer, "DIR", {false});
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.questions.size(), 1);
    const TrustQuestion &question = outcome.questions.first();
    QCOMPARE(question.kind, TrustQuestion::Kind::HostKey);
    QCOMPARE(question.port, m_demo.port());
    QCOMPARE(question.keyType, m_demo.hostKey().type);
    QCOMPARE(question.fingerprint, m_demo.hostKey().fingerprint);
    QTest::qWait(200);
    QCOMPARE(m_demo.output().count(QStringLiteral("login attempt")), before);
}

void TestTransferSftp::trustedHostKeyKeyLogin()
{
    SshdProcess sshd;
    // At DEBUG1 the server logs what its key exchange settled on.
    QVERIFY2(sshd.start({}, QStringLiteral("DEBUG1")), qPrintable(sshd.errorString()));
    // The operator's keys, where an empty password looks for them: the first
    // one tried is not the account's, the second one is.
    QDir().mkpath(QDir::homePath() + "/.ssh");
    const QString key = QDir::homePath() + "/.ssh/id_ecdsa";
    const QString wrongKey = QDir::homePath() + "/.ssh/id_ed25519";
    QFile::remove(key);
    QVERIFY(QFile::copy(sshd.clientKey().path, key));
    QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner);
    SshKey wrong;
    QVERIFY(makeSshKey(wrongKey, "ed25519", &wrong));
    QTemporaryDir folder;
    auto transfer = sftpTransferTo(sshd.port(), SshdProcess::userName(), QString());
    QVERIFY(run(*transfer, "CD " + folder.path(), {false}).questions.size() == 1);
    QVERIFY(!sshd.log().contains("Accepted") && !sshd.log().contains("publickey"));
    const Outcome trusted = run(*transfer, "CD " + folder.path(), {true});
    QVERIFY(trusted.ok);
    QCOMPARE(trusted.questions.size(), 1);
    const QString local = m_local.filePath("round.txt");
    QVERIFY(writeFile(local, "round trip"));
    QVERIFY(run(*transfer, "PUT " + local).ok);
    QCOMPARE(readFile(folder.filePath("round.txt")), "round trip");
    QVERIFY(sshd.log().contains("Failed publickey") && sshd.log().contains("Accepted publickey"));
    // The log and the status bar name what the server says it settled on.
    const QString log = sshd.log();
    const auto said = [&log](const char *pattern) {
        return QRegularExpression(QLatin1String(pattern)).match(log).captured(1);
    };
    SshSessionFacts settled;
    settled.serverVersion = said("Local version string ([^\\r\\n]+)");
    settled.keyExchange = said("kex: algorithm: (\\S+)");
    settled.hostKey = said("kex: host key algorithm: (\\S+)");
    settled.cipher = said("kex: client->server cipher: (\\S+)");
    settled.mac = said("kex: client->server cipher: \\S+ MAC: (\\S+)");
    QVERIFY2(!settled.cipher.isEmpty() && !settled.serverVersion.isEmpty(), qPrintable(log));
    QCOMPARE(trusted.protections, QStringList{"SSH " + settled.cipher});
    for (const QString &line : {sshServerLine(settled.serverVersion), sshSessionLine(settled)})
        QVERIFY2(trusted.protocol.contains(line), qPrintable(trusted.protocol.join('\n')));
    for (const QString &made : {key, wrongKey, wrongKey + ".pub"})
        QFile::remove(made);
}

void TestTransferSftp::knownHostsDecides()
{
    const QString knownHosts = QDir::homePath() + "/.ssh/known_hosts";
    QDir().mkpath(QDir::homePath() + "/.ssh");
    const QString name = QStringLiteral("[127.0.0.1]:%1").arg(m_demo.port());
    QVERIFY(writeFile(knownHosts, (name + ' ' + m_demo.hostKey().publicLine() + '\n').toUtf8()));
    const Outcome known = run(*demo(), "PWD");
    QVERIFY(known.ok && known.questions.isEmpty());

    SshKey other;
    QVERIFY(makeSshKey(m_local.filePath("other"), "ed25519", &other));
    QVERIFY(writeFile(knownHosts, (name + ' ' + other.publicLine() + '\n').toUtf8()));
    const int before = m_demo.output().count(QStringLiteral("login attempt"));
    const Outcome changed = run(*demo(), "PWD", {true});
    QFile::remove(knownHosts);
    QVERIFY(!changed.ok && changed.questions.isEmpty());
    QVERIFY2(changed.info.contains("has changed") &&
                 changed.info.contains("ssh-keygen -R '" + name + "'"),
             qPrintable(changed.info));
    QTest::qWait(200);
    QCOMPARE(m_demo.output().count(QStringLiteral("login attempt")), before);
}

void TestTransferSftp::siteCheck()
{
    const int before = m_demo.output().count(QStringLiteral("login attempt"));
    auto transfer = demo();
    const CheckRun check = runCheck(*transfer, "CHECK sub", {true});
    QVERIFY2(check.outcome.ok, qPrintable(check.outcome.info));
    QCOMPARE(check.outcome.questions.size(), 1);
    QCOMPARE(check.order, sftpSiteCheckSteps());
    using Id = SiteCheckStepId;
    // Numbered as the FTP steps they stand in for, with no gap.
    int number = 0;
    for (const Id id : check.order)
        QCOMPARE(siteCheckStepNumber(id), ++number);
    QCOMPARE(number, siteCheckStepNumber(Id::CleanUp));
    for (const Id id : {Id::Connection, Id::Login, Id::AuthMethods, Id::HomeFolder, Id::Listing,
                        Id::Write, Id::Verify, Id::ReadBack, Id::CleanUp})
        QVERIFY2(check.steps.value(id).result == SiteCheckResult::Pass,
                 qPrintable(siteCheckStepTitle(id) + ": " + check.steps.value(id).detail));
    // Trusted by the answer, not by known_hosts.
    QCOMPARE(check.steps.value(Id::HostKey).result, SiteCheckResult::Warning);
    QVERIFY(check.steps.value(Id::HostKey).detail.contains(m_demo.hostKey().fingerprint));
    QCOMPARE(check.steps.value(Id::SshVersion).result, SiteCheckResult::Pass);
    QVERIFY(check.steps.value(Id::SshVersion).detail.startsWith("SSH-2.0-AsyncSSH"));
    QCOMPARE(check.steps.value(Id::KeyExchange).result, SiteCheckResult::Pass);
    QVERIFY(check.steps.value(Id::KeyExchange).detail.contains(", cipher "));
    // The offer read on a connection of its own, which sends nothing of the account.
    QVERIFY2(check.steps.value(Id::KeyExchange).detail.contains("chosen from the server's "),
             qPrintable(check.steps.value(Id::KeyExchange).detail));
    QVERIFY(check.steps.value(Id::Listing).detail.contains("sub"));
    QCOMPARE(QDir(served("sub")).entryList(QDir::Files), QStringList{"b.txt"});
    QVERIFY(!check.outcome.shows(DemoPassword));
    QTest::qWait(200);
    QCOMPARE(m_demo.output().count(QStringLiteral("login attempt")) - before, 1);
}

void TestTransferSftp::siteCheckReadOnlyKeyLogin()
{
    SshdProcess sshd;
    sshd.setReadOnly(true);
    QVERIFY2(sshd.start(), qPrintable(sshd.errorString()));
    // The operator's key and known_hosts: no question, no password.
    QDir().mkpath(QDir::homePath() + "/.ssh");
    const QString key = QDir::homePath() + "/.ssh/id_ed25519";
    const QString knownHosts = QDir::homePath() + "/.ssh/known_hosts";
    QVERIFY(QFile::copy(sshd.clientKey().path, key));
    QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner);
    const QString name = QStringLiteral("[127.0.0.1]:%1 ").arg(sshd.port());
    QVERIFY(writeFile(knownHosts, (name + sshd.hostEd25519Key().publicLine() + '\n' + name +
                                   sshd.hostEcdsaKey().publicLine() + '\n')
                                      .toUtf8()));
    QTemporaryDir folder;
    auto transfer = sftpTransferTo(sshd.port(), SshdProcess::userName(), QString());
    const CheckRun check = runCheck(*transfer, "CHECK " + folder.path(), {});
    QFile::remove(key);
    QFile::remove(knownHosts);
    using Id = SiteCheckStepId;
    QVERIFY2(check.outcome.ok && check.outcome.questions.isEmpty(), qPrintable(check.outcome.info));
    QCOMPARE(check.steps.value(Id::HostKey).result, SiteCheckResult::Pass);
    QCOMPARE(check.steps.value(Id::Login).result, SiteCheckResult::Pass);
    QVERIFY(check.steps.value(Id::Login).detail.contains("id_ed25519"));
    // A folder the account may not write in is a warning, not a failure,
    // and the steps after it say so.
    QCOMPARE(check.steps.value(Id::Write).result, SiteCheckResult::Warning);
    for (const Id id : {Id::Verify, Id::ReadBack, Id::CleanUp})
        QCOMPARE(check.steps.value(id).result, SiteCheckResult::Skipped);
    QVERIFY2(check.steps.value(Id::Write).detail.contains(folder.path()),
             qPrintable(check.steps.value(Id::Write).detail));
    QVERIFY2(
        check.outcome.info.endsWith(", 3 skipped: the account cannot write in " + folder.path()),
        qPrintable(check.outcome.info));
    QCOMPARE(sshd.log().count("Accepted publickey"), 1);
}

void TestTransferSftp::stoppedSiteCheckDeletesItsFile()
{
    QTemporaryDir root;
    SftpServerProcess stalling;
    QVERIFY(stalling.start(root.path(), DemoUser, DemoPassword, SftpServerProcess::Reads::Stall));
    auto transfer = sftpTransferTo(stalling.port(), DemoUser, DemoPassword);
    // Stopped once the test file is written: the read-back never gets its data.
    QObject context;
    QObject::connect(transfer.get(), &TransferComponent::siteCheckStep, &context,
                     [&](const SiteCheckStep &step) {
                         if (step.id == SiteCheckStepId::Write)
                             transfer->Execute(QStringLiteral("ABORT"));
                     });
    const CheckRun check = runCheck(*transfer, "CHECK", {true});
    QVERIFY(!check.outcome.ok);
    QCOMPARE(check.outcome.info, QLatin1String(StoppedText));
    QCOMPARE(check.steps.value(SiteCheckStepId::Write).result, SiteCheckResult::Pass);
    QCOMPARE(check.steps.value(SiteCheckStepId::ReadBack).result, SiteCheckResult::Skipped);
    QCOMPARE(check.steps.value(SiteCheckStepId::CleanUp).result, SiteCheckResult::Pass);
    QVERIFY(QDir(root.path()).isEmpty());
}

void TestTransferSftp::siteCheckRefusedHostKey_data()
{
    QTest::addColumn<bool>("changed");
    QTest::newRow("unknown key, answered No") << false;
    QTest::newRow("another key in known_hosts") << true;
}

void TestTransferSftp::siteCheckRefusedHostKey()
{
    QFETCH(bool, changed);
    SshdProcess sshd;
    QVERIFY2(sshd.start(), qPrintable(sshd.errorString()));
    const QString knownHosts = QDir::homePath() + "/.ssh/known_hosts";
    if (changed) {
        // Other keys of both kinds the server has, whichever libssh2 settles on.
        SshKey ed25519, ecdsa;
        QVERIFY(makeSshKey(m_local.filePath("other_ed25519"), "ed25519", &ed25519));
        QVERIFY(makeSshKey(m_local.filePath("other_ecdsa"), "ecdsa", &ecdsa));
        const QString name = QStringLiteral("[127.0.0.1]:%1 ").arg(sshd.port());
        QDir().mkpath(QDir::homePath() + "/.ssh");
        QVERIFY(writeFile(
            knownHosts,
            (name + ed25519.publicLine() + '\n' + name + ecdsa.publicLine() + '\n').toUtf8()));
    }
    auto transfer = sftpTransferTo(sshd.port(), SshdProcess::userName(), "Not#used1");
    const CheckRun check = runCheck(*transfer, "CHECK", {false});
    QFile::remove(knownHosts);
    QVERIFY(!check.outcome.ok);
    QCOMPARE(check.outcome.questions.size(), changed ? 0 : 1);
    if (changed) {
        QCOMPARE(check.steps.value(SiteCheckStepId::HostKey).result, SiteCheckResult::Fail);
        QCOMPARE(check.steps.value(SiteCheckStepId::Login).result, SiteCheckResult::Skipped);
    }
    QTest::qWait(200);
    for (const char *login : {"Accepted", "Failed", "publickey", "password"})
        QVERIFY2(!sshd.log().contains(login), qPrintable(sshd.log()));
}

QTEST_GUILESS_MAIN(TestTransferSftp)
// An SFTP site whose name does not resolve fails on its own; the next
// commands on a good site run as if it had never been.
void TestTransferSftp::failedLookupLeavesNothingBehind()
{
    const CapturedMessages messages;
    auto transfer = demo();
    const QString good = transfer->URL();
    QVERIFY(run(*transfer, "PWD", {true}).ok);
    for (const QString &command : {QStringLiteral("PWD"), QStringLiteral("CHECK")}) {
        transfer->setURL(QStringLiteral("sftp://no-such-host.invalid"));
        const Outcome lost = run(*transfer, command);
        QVERIFY(!lost.ok);
        QCOMPARE(lost.states.constLast(), TransferState::Error);
        transfer->setURL(good);
        const Outcome again = run(*transfer, "LS");
        QVERIFY2(again.ok, qPrintable(again.info));
        QVERIFY(chunk(*transfer).contains(QLatin1String("a.txt")));
    }
    QVERIFY2(!messages.text().contains(QLatin1String("QSocketNotifier")),
             qPrintable(messages.text()));
}

#include "tst_transfer_sftp.moc"
