// FTP over TLS against real servers on loopback: Debian's vsftpd requiring
// TLS for the login and all data (with TLS session reuse on data
// connections), after AUTH TLS and implicit (ftps://, TLS from the first
// byte), and the plain test server for the clear-text question.
#include "transfer_run.h"
#include "vsftpd_process.h"

#include <QRegularExpression>

#include <algorithm>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestTransferTls : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void roundTripAfterTrustingTheCertificate();
    void stepsOnTheirLoginKeepItsProtection();
    void decliningTheCertificateSendsNoAccount();
    void trustLastsUntilTheCertificateChanges();
    void clearTextNeedsConsentOffThisMachine();
    void implicitTlsRoundTrip();
    void implicitTlsDeclinedSendsNoAccount();
    void implicitTlsSiteCheck();

private:
    std::unique_ptr<CurlTransfer> transferTo(int port) const
    {
        return ::transferTo(port, VsftpdProcess::userName(), VsftpdProcess::password());
    }
    // To the implicit-TLS server, its scheme in any letter case.
    std::unique_ptr<CurlTransfer> implicitTransfer() const
    {
        auto transfer = transferTo(m_implicit.port());
        transfer->setURL(QStringLiteral("FtpS://127.0.0.1:%1").arg(m_implicit.port()));
        return transfer;
    }
    QString serverPath(const QString &name) const { return m_root.filePath(name); }

    QTemporaryDir m_root;
    QTemporaryDir m_local;
    VsftpdProcess m_vsftpd;
    VsftpdProcess m_implicit;
};

void TestTransferTls::initTestCase()
{
    QVERIFY(m_root.isValid() && m_local.isValid());
    QVERIFY2(m_vsftpd.start(m_root.path(), VsftpdProcess::Security::Tls),
             qPrintable(m_vsftpd.errorString()));
    QVERIFY2(m_implicit.start(m_root.path(), VsftpdProcess::Security::ImplicitTls),
             qPrintable(m_implicit.errorString()));
}

void TestTransferTls::init()
{
    // A certificate changed by an earlier test comes back as the original.
    QVERIFY(writeFile(serverPath("hello.txt"), "hello over TLS"));
}

// HASH logs in for its first step (FEAT) and reads the file back on that
// login: the login it made is the encrypted one, whatever the later step,
// which saw no handshake of its own, says.
void TestTransferTls::stepsOnTheirLoginKeepItsProtection()
{
    auto transfer = transferTo(m_vsftpd.port());
    const Outcome hash = run(*transfer, "HASH hello.txt", {true});
    QVERIFY2(hash.ok, qPrintable(hash.info));
    QCOMPARE(hash.protections.size(), 1);
    QVERIFY2(hash.protections.first().startsWith(QLatin1String("TLS 1.")),
             qPrintable(hash.protections.first()));
}

void TestTransferTls::roundTripAfterTrustingTheCertificate()
{
    auto transfer = transferTo(m_vsftpd.port());
    const QByteArray data = QByteArray(300000, 'x') + "end";
    QVERIFY(writeFile(m_local.filePath("up.bin"), data));

    // vsftpd refuses a plain login, so success proves the login was encrypted.
    const Outcome up = run(*transfer, "PUT " + m_local.filePath("up.bin") + " up.bin", {true});
    QVERIFY2(up.ok, qPrintable(up.info));
    QCOMPARE(up.questions.size(), 1);
    const TrustQuestion &question = up.questions.first();
    QCOMPARE(question.kind, TrustQuestion::Kind::Certificate);
    QCOMPARE(question.host, QStringLiteral("127.0.0.1"));
    QCOMPARE(question.port, m_vsftpd.port());
    QCOMPARE(question.fingerprint, m_vsftpd.fingerprint());
    QVERIFY2(question.reason.contains(QLatin1String("self-signed")), qPrintable(question.reason));
    QVERIFY(question.subject.contains(QLatin1String("CN=localhost")));
    QVERIFY(question.notBefore.isValid() && question.notAfter > question.notBefore);
    QVERIFY(!question.changed);
    QCOMPARE(readFile(serverPath("up.bin")), data);
    QCOMPARE(up.states.count(TransferState::Error) +
                 up.states.count(TransferState::ResponseCompleted),
             1);

    const Outcome down = run(*transfer, "GET up.bin " + m_local.filePath("down.bin"));
    QVERIFY2(down.ok, qPrintable(down.info));
    QVERIFY(down.questions.isEmpty());
    QCOMPARE(readFile(m_local.filePath("down.bin")), data);

    QCOMPARE(up.protections.size(), 1);
    QVERIFY(up.protections.first().startsWith(QLatin1String("TLS 1.")));
    const QString log = up.protocol.join('\n');
    QVERIFY(log.contains(QLatin1String("AUTH TLS")) && log.contains(QLatin1String("PROT P")));
    // The password went to the server, and shows nowhere on this side.
    QVERIFY(log.contains(QLatin1String("PASS ****")));
    QVERIFY2(m_vsftpd.log().contains(QLatin1String("\"PASS ")), qPrintable(m_vsftpd.log()));
    for (const Outcome *outcome : {&up, &down})
        QVERIFY(!outcome->shows(VsftpdProcess::password()));

    // The operator's log: the certificate once per login, never for the
    // probe or a data connection; each data connection resumes the login's
    // TLS session; the outcome and the phases in words.
    const auto count = [](const Outcome &outcome, const QString &start) {
        return std::count_if(outcome.protocol.cbegin(), outcome.protocol.cend(),
                             [&](const QString &line) { return line.startsWith(start); });
    };
    QCOMPARE(count(up, "Fetching the certificate to show it"), 1);
    QCOMPARE(count(up, "TLS 1.2 established ("), 1);
    QCOMPARE(count(up, "Certificate: "), 1);
    QCOMPARE(count(down, "Certificate: "), 0);
    for (const Outcome *outcome : {&up, &down})
        QVERIFY2(count(*outcome, "Data connection to 127.0.0.1:") == 1 &&
                     outcome->protocol.filter(QStringLiteral(", TLS session resumed")).size() == 1,
                 qPrintable(outcome->protocol.join('\n')));
    QCOMPARE(up.protocol.filter(QRegularExpression("^PUT done: 300,003 bytes in ")).size(), 1);
    QVERIFY(up.protocol.constLast().contains(QLatin1String(", TLS ")));
    QVERIFY(up.protocol.constLast().contains(QLatin1String(", login ")));
    // On the pooled login only the command's own phases happen.
    QVERIFY(down.protocol.constLast().startsWith(QLatin1String("Timing: first byte ")));

    // CLOSE says QUIT where the log shows it, and the server's 221 is the last reply.
    const Outcome closed = run(*transfer, "CLOSE");
    QVERIFY(closed.ok);
    QCOMPARE(closed.code, 221);
    QVERIFY(closed.protocol.contains(QStringLiteral("QUIT")));
    QCOMPARE(closed.protocol.filter(QRegularExpression("^221")).size(), 1);
    QVERIFY(closed.protocol.contains(QStringLiteral("Connection closed")));
    QVERIFY(closed.protocol.contains(QStringLiteral("CLOSE done")));
    QVERIFY(m_vsftpd.log().contains(QLatin1String("\"QUIT\"")));
}

void TestTransferTls::decliningTheCertificateSendsNoAccount()
{
    auto transfer = transferTo(m_vsftpd.port());
    const QString target = m_local.filePath("declined.txt");
    const QString logBefore = m_vsftpd.log();
    const Outcome outcome = run(*transfer, "GET hello.txt " + target, {false});
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states.constLast(), TransferState::Error);
    QVERIFY2(outcome.info.contains(QLatin1String("not trusted")), qPrintable(outcome.info));
    QVERIFY(outcome.info.contains(QLatin1String("self-signed")));
    // In the operator's words, as the question put it, not OpenSSL's.
    QVERIFY2(!outcome.info.contains(QLatin1String("SSL")), qPrintable(outcome.info));
    QVERIFY(!QFile::exists(target));
    QCOMPARE(QDir(m_local.path()).entryList({"declined*"}, QDir::Files | QDir::Hidden), {});
    const QString log = m_vsftpd.log().mid(logBefore.size());
    QVERIFY(log.contains(QLatin1String("AUTH TLS")));
    QVERIFY2(!log.contains(QLatin1String("USER")), qPrintable(log));
}

void TestTransferTls::trustLastsUntilTheCertificateChanges()
{
    auto transfer = transferTo(m_vsftpd.port());
    QCOMPARE(run(*transfer, "PWD", {true}).questions.size(), 1);
    // Twice over one login and then over a fresh one: no question.
    QVERIFY(run(*transfer, "DIR").questions.isEmpty());
    QVERIFY(run(*transfer, "CLOSE").ok);
    const Outcome again = run(*transfer, "GET hello.txt");
    QVERIFY(again.ok && again.questions.isEmpty());
    QCOMPARE(transfer->GetChunk(1024), QStringLiteral("hello over TLS"));

    QVERIFY2(m_vsftpd.restartWithNewCertificate(), qPrintable(m_vsftpd.errorString()));
    const Outcome changed = run(*transfer, "PWD", {false});
    QVERIFY(!changed.ok);
    QCOMPARE(changed.questions.size(), 1);
    QVERIFY(changed.questions.first().changed);
    QCOMPARE(changed.questions.first().fingerprint, m_vsftpd.fingerprint());
}

void TestTransferTls::clearTextNeedsConsentOffThisMachine()
{
    QTemporaryDir root;
    FtpServerProcess plain;
    QVERIFY(plain.start(root.path(), TestUser, TestPassword));
    auto transfer = ::transferTo(plain.port());
    // As if the server were elsewhere: only loopback goes without asking.
    transfer->setLocalHostRule([](const QString &) { return false; });

    const Outcome refused = run(*transfer, "PWD", {false});
    QVERIFY(!refused.ok);
    QCOMPARE(refused.questions.size(), 1);
    QCOMPARE(refused.questions.first().kind, TrustQuestion::Kind::ClearText);
    QCOMPARE(refused.questions.first().host, QStringLiteral("127.0.0.1"));
    QVERIFY(refused.info.contains(QLatin1String("not sent in clear text")));
    QVERIFY2(!plain.commandsReceived().contains("USER"), plain.commandsReceived().constData());

    const Outcome agreed = run(*transfer, "PWD", {true});
    QVERIFY2(agreed.ok, qPrintable(agreed.info));
    QVERIFY(run(*transfer, "PWD").questions.isEmpty());

    // On this machine nothing is asked.
    const Outcome direct = run(*::transferTo(plain.port()), "PWD");
    QVERIFY(direct.ok && direct.questions.isEmpty());
}

void TestTransferTls::implicitTlsRoundTrip()
{
    auto transfer = implicitTransfer();
    const QByteArray data = QByteArray(200000, 'i') + "end";
    QVERIFY(writeFile(m_local.filePath("implicit.bin"), data));
    // What the server had heard when the question came: the question comes
    // before anything of the account goes out.
    QString heardAtQuestion;
    QObject::connect(transfer.get(), &TransferComponent::trustQuestion, transfer.get(),
                     [&] { heardAtQuestion = m_implicit.log(); });

    const Outcome up =
        run(*transfer, "PUT " + m_local.filePath("implicit.bin") + " implicit.bin", {true});
    QVERIFY2(up.ok, qPrintable(up.info));
    QCOMPARE(up.questions.size(), 1);
    QCOMPARE(up.questions.first().fingerprint, m_implicit.fingerprint());
    QCOMPARE(up.questions.first().port, m_implicit.port());
    QVERIFY2(!heardAtQuestion.contains(QLatin1String("USER")), qPrintable(heardAtQuestion));
    QVERIFY(m_implicit.log().contains(QLatin1String("\"USER ")));
    QCOMPARE(readFile(serverPath("implicit.bin")), data);
    QCOMPARE(up.protections, QStringList{QStringLiteral("TLS 1.2, implicit TLS")});
    QCOMPARE(
        up.protocol.filter(QRegularExpression("^TLS 1\\.2 established, implicit TLS \\(")).size(),
        1);
    // The connection stands before its handshake begins, and the log says
    // so in that order, so the TLS phase is not counted as connecting.
    const QStringList beforeTls = up.protocol.mid(
        0, up.protocol.indexOf(QRegularExpression("TLS 1\\.2 established, implicit TLS .*")));
    QVERIFY2(beforeTls.lastIndexOf("Connected") >
                 beforeTls.lastIndexOf(QRegularExpression("Connecting to .*")),
             qPrintable(up.protocol.join('\n')));
    // No AUTH TLS: the connection was encrypted from its first byte; the
    // data connections are protected all the same.
    QVERIFY(!up.protocol.contains(QStringLiteral("AUTH TLS")));
    QVERIFY(up.protocol.contains(QStringLiteral("PROT P")));
    QVERIFY(!m_implicit.log().contains(QLatin1String("\"AUTH ")));

    const Outcome down = run(*transfer, "GET implicit.bin " + m_local.filePath("back.bin"));
    QVERIFY2(down.ok, qPrintable(down.info));
    QCOMPARE(readFile(m_local.filePath("back.bin")), data);
    const Outcome listed = run(*transfer, "DIR");
    QVERIFY2(listed.ok, qPrintable(listed.info));
    QVERIFY(transfer->GetChunk(100000).contains(QLatin1String("implicit.bin")));
    for (const Outcome *outcome : {&up, &down, &listed}) {
        QVERIFY(outcome->questions.isEmpty() || outcome == &up);
        QVERIFY2(outcome->protocol.filter(QStringLiteral(", TLS session resumed")).size() == 1,
                 qPrintable(outcome->protocol.join('\n')));
        QVERIFY(!outcome->shows(VsftpdProcess::password()));
    }
}

void TestTransferTls::implicitTlsDeclinedSendsNoAccount()
{
    auto transfer = implicitTransfer();
    const QString logBefore = m_implicit.log();
    const Outcome outcome = run(*transfer, "DIR", {false});
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.questions.size(), 1);
    QCOMPARE(outcome.states.constLast(), TransferState::Error);
    QVERIFY2(outcome.info.contains(QLatin1String("not trusted")), qPrintable(outcome.info));
    const QString log = m_implicit.log().mid(logBefore.size());
    QVERIFY2(!log.contains(QLatin1String("USER")) && !log.contains(QLatin1String("PASS")),
             qPrintable(log));
}

// CHECK over implicit TLS: its TLS step says so, and the rest runs as over
// explicit TLS, data connections protected.
void TestTransferTls::implicitTlsSiteCheck()
{
    auto transfer = implicitTransfer();
    QMap<SiteCheckStepId, SiteCheckOutcome> steps;
    QString target;
    QObject::connect(transfer.get(), &TransferComponent::siteCheckStep, transfer.get(),
                     [&](const SiteCheckStep &step) { steps.insert(step.id, step.outcome); });
    QObject::connect(transfer.get(), &TransferComponent::siteCheckStarted, transfer.get(),
                     [&](const QString &checked) { target = checked; });
    const Outcome check = run(*transfer, "CHECK", {true});
    QCOMPARE(check.questions.size(), 1);
    QCOMPARE(target, QStringLiteral("ftps://127.0.0.1:%1/").arg(m_implicit.port()));
    const SiteCheckOutcome encryption = steps.value(SiteCheckStepId::Encryption);
    QCOMPARE(encryption.result, SiteCheckResult::Pass);
    QVERIFY2(encryption.detail.startsWith(QLatin1String("TLS 1.2, ")) &&
                 encryption.detail.endsWith(QLatin1String(", implicit TLS")),
             qPrintable(encryption.detail));
    for (const SiteCheckStepId id :
         {SiteCheckStepId::Greeting, SiteCheckStepId::Login, SiteCheckStepId::DataProtection,
          SiteCheckStepId::Write, SiteCheckStepId::ReadBack, SiteCheckStepId::CleanUp})
        QVERIFY2(steps.value(id).result == SiteCheckResult::Pass,
                 qPrintable(siteCheckStepName(id) + ": " + steps.value(id).detail));
    QVERIFY(!m_implicit.log().contains(QLatin1String("\"AUTH ")));
    QVERIFY(check.protections.contains(QStringLiteral("TLS 1.2, implicit TLS")));
}

QTEST_GUILESS_MAIN(TestTransferTls)
#include "tst_transfer_tls.moc"
