// CHECK against servers on loopback: the misbehaving test server in each of
// its site modes, and vsftpd requiring TLS with session reuse. What matters
// is which rows each server's behaviour turns to which result.
#include "site_check/rules/site_check_tls_rules.h"
#include "site_check_run.h"
#include "site_check_support.h"
#include "ssh_server_process.h"
#include "terminal_check.h"
#include "text/failure_text.h"
#include "vsftpd_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>

Q_DECLARE_METATYPE(Rows)

class TestSiteCheckRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void serverBehaviours_data();
    void serverBehaviours();
    void nameUnderLocalhost();
    void vsftpdWithTls();
    void stoppedCheckDeletesItsFile();
    void folderThatDoesNotExist();
    void announcedBeforeItsSteps_data();
    void announcedBeforeItsSteps();
    void terminalExitCodes();
    void terminalSftp();
};

void TestSiteCheckRun::serverBehaviours_data()
{
    QTest::addColumn<QString>("mode"); // and the server's options for it
    QTest::addColumn<Rows>("rows");    // the rows that matter for it
    QTest::addColumn<bool>("ok");

    QTest::newRow("behaves") << "site --hash XSHA256"
                             << Rows{{1, "pass"},    {2, "pass"},  {3, "pass"},    {4, "warning"},
                                     {5, "skipped"}, {6, "pass"},  {7, "pass"},    {8, "pass"},
                                     {9, "pass"},    {11, "pass"}, {12, "pass"},   {13, "pass"},
                                     {14, "pass"},   {15, "pass"}, {16, "skipped"}}
                             << true;
    QTest::newRow("HASH with an algorithm") << "site --hash HASH" << Rows{{12, "pass"}} << true;
    QTest::newRow("private PASV address")
        << "private-pasv" << Rows{{8, "pass"}, {9, "warning"}} << true;
    QTest::newRow("write refused")
        << "write-refused"
        << Rows{{11, "warning"}, {12, "skipped"}, {13, "skipped"}, {14, "skipped"}, {15, "pass"}}
        << true;
    QTest::newRow("PORT refused") << "port-refused" << Rows{{8, "pass"}, {15, "warning"}} << true;
    QTest::newRow("SIZE differs") << "size-differs" << Rows{{12, "fail"}, {14, "pass"}} << false;
    QTest::newRow("clock an hour off") << "mdtm-hour-off" << Rows{{12, "warning"}} << true;
    QTest::newRow("no FEAT") << "no-feat" << Rows{{7, "warning"}, {12, "pass"}} << true;
    QTest::newRow("listing cut") << "list-cut" << Rows{{8, "fail"}} << false;
    QTest::newRow("login refused")
        << "login-refused" << Rows{{6, "fail"}, {7, "skipped"}, {14, "skipped"}} << false;
    QTest::newRow("nothing listens") << "refuse" << Rows{{1, "pass"}, {2, "fail"}} << false;
}

void TestSiteCheckRun::serverBehaviours()
{
    QFETCH(QString, mode);
    QFETCH(Rows, rows);
    QFETCH(bool, ok);
    const QStringList words = mode.split(' ');
    HostileServer server(words.first(), words.mid(1));
    QVERIFY(server.port() > 0);
    auto transfer = transferTo(server.address());
    transfer->setRequestTimeout(3);

    const CheckRun run = check(*transfer);
    QCOMPARE(run.steps.size(), siteCheckSteps().size());
    const Rows found = run.rows();
    for (auto row = rows.cbegin(); row != rows.cend(); ++row) {
        if (found.value(row.key()) != row.value())
            qInfo().noquote() << run.table();
        QCOMPARE(found.value(row.key()), row.value());
    }
    QCOMPARE(run.outcome.ok, ok);
    QCOMPARE(run.outcome.states.last(),
             ok ? TransferState::ResponseCompleted : TransferState::Error);
    QCOMPARE(run.outcome.info, siteCheckVerdictLine(run.steps));
    QVERIFY(!run.outcome.shows(TestPassword));
}

// A name under localhost is loopback to libcurl whatever the system's
// resolver knows of it, and so to the check (the demo site is one).
void TestSiteCheckRun::nameUnderLocalhost()
{
    HostileServer server("site");
    QVERIFY(server.port() > 0);
    auto transfer = transferTo(QStringLiteral("Check.LOCALHOST:%1").arg(server.port()));
    const CheckRun run = check(*transfer);
    const Rows found = run.rows();
    QCOMPARE(found.value(1), QStringLiteral("pass"));
    QCOMPARE(found.value(6), QStringLiteral("pass"));
}

void TestSiteCheckRun::vsftpdWithTls()
{
    QTemporaryDir root;
    VsftpdProcess vsftpd;
    QVERIFY2(vsftpd.start(root.path(), VsftpdProcess::Security::Tls),
             qPrintable(vsftpd.errorString()));
    auto transfer = transferTo(vsftpd.port(), VsftpdProcess::userName(), VsftpdProcess::password());

    const CheckRun run = check(*transfer, QStringLiteral("CHECK"), {true});
    QCOMPARE(run.outcome.questions.size(), 1);
    Rows expected;
    for (const SiteCheckStepId id : siteCheckSteps())
        expected.insert(int(id), QStringLiteral("pass"));
    expected[int(SiteCheckStepId::Certificate)] = QStringLiteral("warning"); // self-signed
    // No IPv6 address for 127.0.0.1; active mode under TLS hangs libcurl 7.88.
    expected[int(SiteCheckStepId::Ipv6)] = QStringLiteral("skipped");
    if (activeModeBrokenUnderTls(libcurlVersion()))
        expected[int(SiteCheckStepId::ActiveMode)] = QStringLiteral("skipped");
    QVERIFY2(run.rows() == expected, qPrintable(run.table()));
    QVERIFY(run.outcome.ok);
    // The password went out once, on the one login, and the test file is gone.
    QCOMPARE(vsftpd.log().count(QLatin1String("\"PASS ")), 1);
    QCOMPARE(QDir(root.path()).entryList(QDir::Files), QStringList());
}

void TestSiteCheckRun::stoppedCheckDeletesItsFile()
{
    // The read-back never gets its reply: the check is still running when
    // it is stopped, with the test file on the server.
    HostileServer server("site", {"--site-stall", "RETR"});
    QVERIFY(server.port() > 0);
    auto transfer = transferTo(server.address());
    QObject context;
    QObject::connect(transfer.get(), &TransferComponent::siteCheckStep, &context,
                     [&](const SiteCheckStep &step) {
                         if (step.id == SiteCheckStepId::Write)
                             transfer->Execute(QStringLiteral("ABORT"));
                     });

    const CheckRun run = check(*transfer);
    QVERIFY(!run.outcome.ok);
    QCOMPARE(run.outcome.info, QLatin1String(StoppedText));
    // The server deletes only files it holds: the DELE found the test file.
    QCOMPARE(run.rows().value(int(SiteCheckStepId::CleanUp)), QStringLiteral("pass"));
    QCOMPARE(run.rows().value(int(SiteCheckStepId::ReadBack)), QStringLiteral("skipped"));
}

void TestSiteCheckRun::folderThatDoesNotExist()
{
    QTemporaryDir root;
    FtpServerProcess server;
    QVERIFY(server.start(root.path(), TestUser, TestPassword));
    auto transfer = transferTo(server.port());

    const CheckRun run = check(*transfer, QStringLiteral("CHECK missing"));
    const Rows rows = run.rows();
    QCOMPARE(rows.value(int(SiteCheckStepId::Login)), QStringLiteral("pass"));
    QCOMPARE(rows.value(int(SiteCheckStepId::PassiveData)), QStringLiteral("fail"));
    // The folder's own finding, not the data connection's.
    QVERIFY2(run.detail(SiteCheckStepId::PassiveData)
                 .startsWith(QLatin1String("the folder missing does not exist (550 ")),
             qPrintable(run.table()));
    QCOMPARE(rows.value(int(SiteCheckStepId::Write)), QStringLiteral("skipped"));
    QVERIFY(!run.outcome.ok);
    QVERIFY(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

void TestSiteCheckRun::announcedBeforeItsSteps_data()
{
    QTest::addColumn<QString>("url"); // with %1 for the port
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("target");
    QTest::newRow("the site's folder") << "ftp://127.0.0.1:%1"
                                       << "CHECK"
                                       << "ftp://127.0.0.1:%1/";
    QTest::newRow("below the folder the site starts in") << "FTP://127.0.0.1:%1/base"
                                                         << "CHECK \"up/in\""
                                                         << "ftp://127.0.0.1:%1/base/up/in";
    QTest::newRow("from the root") << "ftp://127.0.0.1:%1/base"
                                   << "CHECK /srv"
                                   << "ftp://127.0.0.1:%1/srv";
    QTest::newRow("sftp") << "SFTP://127.0.0.1:%1"
                          << "CHECK up"
                          << "sftp://127.0.0.1:%1/up";
    QTest::newRow("no check") << "ftp://127.0.0.1:%1"
                              << "PWD" << QString();
}

void TestSiteCheckRun::announcedBeforeItsSteps()
{
    QFETCH(QString, url);
    QFETCH(QString, command);
    QFETCH(QString, target);
    // Nothing listens on the port: the check ends in its first steps.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    auto transfer = transferTo(port);
    transfer->setURL(url.arg(port));

    QStringList heard;
    QObject context;
    QObject::connect(transfer.get(), &TransferComponent::siteCheckStarted, &context,
                     [&](const QString &checked, const QString &operation) {
                         heard << checked + QStringLiteral(" | ") + operation;
                     });
    QObject::connect(transfer.get(), &TransferComponent::siteCheckStep, &context,
                     [&] { heard << QStringLiteral("step"); });
    QVERIFY(!run(*transfer, command).ok);
    if (target.isEmpty()) {
        QCOMPARE(heard, QStringList());
        return;
    }
    QVERIFY(heard.size() > 1);
    QCOMPARE(heard.first(), target.arg(port) + QStringLiteral(" | ") + command);
    QCOMPARE(heard.count(QStringLiteral("step")), heard.size() - 1);
}

void TestSiteCheckRun::terminalExitCodes()
{
    HostileServer plain("site");
    HostileServer lying("size-differs");
    QVERIFY(plain.port() > 0 && lying.port() > 0);
    const TerminalRun warned = checkInTerminal("ftp://" + TestUser + "@" + plain.address());
    QCOMPARE(warned.status, 1); // no TLS
    QVERIFY(warned.out.contains("Site check: "));
    QCOMPARE(checkInTerminal("ftp://" + TestUser + "@" + lying.address()).status, 2);

    // A certificate the system does not trust: without --trust, nothing of
    // the account goes out.
    QTemporaryDir root;
    VsftpdProcess vsftpd;
    QVERIFY2(vsftpd.start(root.path(), VsftpdProcess::Security::Tls),
             qPrintable(vsftpd.errorString()));
    const QString url = QStringLiteral("ftp://anonymous@127.0.0.1:%1").arg(vsftpd.port());
    // The report carries the certificate as a failed step, the rest
    // skipped; standard error says what --trust needs.
    const TerminalRun refused = checkInTerminal(url, {"--json"});
    QCOMPARE(refused.status, 2);
    QVERIFY(!vsftpd.log().contains(QLatin1String("USER")));
    const QJsonArray steps = QJsonDocument::fromJson(refused.out).object()["steps"].toArray();
    QCOMPARE(steps.size(), siteCheckSteps().size());
    const int certificate = int(siteCheckSteps().indexOf(SiteCheckStepId::Certificate));
    QCOMPARE(steps[certificate]["result"].toString(), "fail");
    QVERIFY2(steps[certificate]["hint"].toString().contains("--trust " + vsftpd.fingerprint()),
             refused.out.constData());
    for (qsizetype i = certificate + 1; i < steps.size(); ++i)
        QCOMPARE(steps[i]["result"].toString(), "skipped");
    QVERIFY(refused.err.contains(("--trust " + vsftpd.fingerprint()).toUtf8()));
    const TerminalRun trusted = checkInTerminal(url, {"--json", "--trust", vsftpd.fingerprint()});
    QCOMPARE(trusted.status, 1); // the certificate's warning
    const QJsonObject saved = QJsonDocument::fromJson(trusted.out).object();
    QCOMPARE(saved.value("steps").toArray().size(), siteCheckSteps().size());
}

void TestSiteCheckRun::terminalSftp()
{
    QTemporaryDir root;
    QTemporaryDir home; // no known_hosts, no keys
    QVERIFY(QDir(root.path()).mkdir("up"));
    SftpServerProcess server;
    QVERIFY2(server.start(root.path(), TestUser, TestPassword),
             "the demo SFTP server did not start (python3-asyncssh)");
    const QByteArray operatorHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    const QString url =
        QStringLiteral("sftp://%1@127.0.0.1:%2/~/up").arg(TestUser).arg(server.port());
    // A host key nobody vouches for: nothing of the account goes out.
    const TerminalRun refused = checkInTerminal(url);
    const TerminalRun other = checkInTerminal(url, {"--trust", "SHA256:" + QString(43, 'A')});
    const TerminalRun trusted =
        checkInTerminal(url, {"--json", "--trust", server.hostKey().fingerprint});
    qputenv("HOME", operatorHome);
    QCOMPARE(refused.status, 2);
    QCOMPARE(other.status, 2);
    QVERIFY2(lineWith(refused.out, "5. Host key").contains("  fail  "), refused.out.constData());
    QVERIFY2(lineWith(refused.out, "6. Login").contains("skipped"), refused.out.constData());
    QTest::qWait(200);
    QCOMPARE(server.output().count("login attempt"), 1);
    QCOMPARE(trusted.status, 1); // trusted by the answer alone, not by known_hosts: a warning
    const QJsonObject saved = QJsonDocument::fromJson(trusted.out).object();
    QCOMPARE(saved.value("steps").toArray().size(), sftpSiteCheckSteps().size());
    // The key was trusted by --trust, and the row says so.
    const QJsonObject hostKey = saved.value("steps").toArray().at(4).toObject();
    QCOMPARE(hostKey.value("name").toString(), siteCheckStepName(SiteCheckStepId::HostKey));
    QVERIFY2(hostKey.value("detail").toString().endsWith(", trusted by --trust"),
             qPrintable(hostKey.value("detail").toString()));
    QCOMPARE(saved.value("target").toString(),
             siteCheckTarget("127.0.0.1", server.port(), "up", "sftp"));
    QVERIFY(!trusted.out.contains(TestPassword.toUtf8()));
    QVERIFY(QDir(root.filePath("up")).isEmpty()); // the test file is cleaned up
}

QTEST_GUILESS_MAIN(TestSiteCheckRun)
#include "tst_site_check_run.moc"
