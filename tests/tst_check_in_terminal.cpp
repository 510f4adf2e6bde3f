// The pure rules of the site check in a terminal: the folder a URL names,
// the fingerprint given with --trust, and what the terminal says of a
// certificate or host key that nothing vouches for.
#include "text/report/check_formats.h"
#include "text/report/check_in_terminal.h"

#include <QTest>

namespace {

// A question as a server on `host` and `port` asks it.
TrustQuestion question(TrustQuestion::Kind kind, const QString &host, int port,
                       const QString &fingerprint)
{
    TrustQuestion asked;
    asked.kind = kind;
    asked.host = host;
    asked.port = port;
    asked.fingerprint = fingerprint;
    return asked;
}

TrustQuestion certificate()
{
    TrustQuestion asked = question(
        TrustQuestion::Kind::Certificate, QStringLiteral("ftp.example.com"), 2121,
        QStringLiteral("DD:D8:0A:1F:") + QStringLiteral("7C:").repeated(27) + QStringLiteral("E4"));
    asked.reason = QStringLiteral("SSL certificate problem: self-signed certificate");
    asked.subject = QStringLiteral("CN=ftp.example.com");
    return asked;
}

TrustQuestion hostKey()
{
    TrustQuestion asked =
        question(TrustQuestion::Kind::HostKey, QStringLiteral("127.0.0.1"), 2222,
                 QStringLiteral("SHA256:AbCdEfGhIjKlMnOpQrStUvWxYz0123456789+/aBcDe"));
    asked.keyType = QStringLiteral("ssh-ed25519");
    return asked;
}

} // namespace

class TestCheckInTerminal : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void folder_data();
    void folder();
    void fingerprint_data();
    void fingerprint();
    void untrustedSaysWhatTrustNeeds();
    void trustWording();
    void untrustedAsSteps_data();
    void untrustedAsSteps();
    void exitCodes_data();
    void exitCodes();
    void wholeNumbers_data();
    void wholeNumbers();
};

void TestCheckInTerminal::folder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("sftp");
    QTest::addColumn<QString>("folder");
    QTest::newRow("ftp, none") << "" << false << "";
    QTest::newRow("ftp, root") << "/" << false << "";
    QTest::newRow("ftp, relative to the login") << "/in/up" << false << "in/up";
    QTest::newRow("ftp, absolute") << "//srv" << false << "/srv";
    QTest::newRow("sftp, absolute") << "/srv/up" << true << "/srv/up";
    QTest::newRow("sftp, under the login's") << "/~/up" << true << "up";
    QTest::newRow("sftp, the login's") << "/~" << true << "";
    QTest::newRow("sftp, the login's with slash") << "/~/" << true << "";
    QTest::newRow("sftp, root") << "/" << true << "";
    QTest::newRow("sftp, tilde name") << "/~up" << true << "/~up";
}

void TestCheckInTerminal::folder()
{
    QFETCH(QString, path);
    QFETCH(bool, sftp);
    QTEST(terminalCheckFolder(path, sftp), "folder");
}

void TestCheckInTerminal::fingerprint_data()
{
    QTest::addColumn<bool>("isHostKey");
    QTest::addColumn<QString>("given");
    QTest::addColumn<bool>("trusted");
    const QString cert = certificate().fingerprint;
    const QString key = hostKey().fingerprint;
    QTest::newRow("certificate, as shown") << false << cert << true;
    QTest::newRow("certificate, lower case") << false << cert.toLower() << true;
    QTest::newRow("certificate, no colons") << false << QString(cert).remove(':') << true;
    QTest::newRow("certificate, SHA256: first") << false << "SHA256:" + cert << true;
    QTest::newRow("certificate, blanks around") << false << " " + cert + "\n" << true;
    QTest::newRow("certificate, another") << false << QString(cert).replace("DD", "DE") << false;
    QTest::newRow("certificate, a part") << false << cert.left(20) << false;
    QTest::newRow("certificate, not hex") << false << QString(cert).replace("DD", "ZZ") << false;
    QTest::newRow("certificate, none") << false << "" << false;
    QTest::newRow("host key, as shown") << true << key << true;
    QTest::newRow("host key, without SHA256:") << true << key.mid(7) << true;
    QTest::newRow("host key, case changed") << true << key.toUpper() << false;
    QTest::newRow("host key, another") << true << "SHA256:" + QString(43, 'A') << false;
    QTest::newRow("host key, none") << true << "" << false;
}

void TestCheckInTerminal::fingerprint()
{
    QFETCH(bool, isHostKey);
    QFETCH(QString, given);
    QTEST(trustedByFingerprint(isHostKey ? hostKey() : certificate(), given), "trusted");
}

void TestCheckInTerminal::untrustedSaysWhatTrustNeeds()
{
    const TrustQuestion cert = certificate();
    const QString unknown = untrustedInTerminal(cert, {}).join('\n');
    for (const QString &part :
         QStringList{cert.host, QString::number(cert.port), cert.subject, "self-signed",
                     "--trust " + cert.fingerprint,
                     "openssl s_client -connect ftp.example.com:2121 -starttls ftp"})
        QVERIFY2(unknown.contains(part), qPrintable(part + " in\n" + unknown));
    QVERIFY(trustedByFingerprint(cert, unknown.section("--trust ", 1).section('\n', 0, 0)));
    // The window's words for the problem, not OpenSSL's.
    QVERIFY2(!unknown.contains("SSL"), qPrintable(unknown));
    QCOMPARE(untrustedInTerminal(cert, "AA:BB").first(), "the certificate's fingerprint is " +
                                                             cert.fingerprint +
                                                             ", not the one given with --trust");

    TrustQuestion v6 = cert;
    v6.host = QStringLiteral("::1");
    QVERIFY(untrustedInTerminal(v6, {}).join('\n').contains("-connect [::1]:2121 "));
    // Implicit TLS speaks TLS from the first byte: no STARTTLS.
    QVERIFY(untrustedInTerminal(cert, {}, true)
                .join('\n')
                .contains("-connect ftp.example.com:2121 </dev/null"));

    const TrustQuestion key = hostKey();
    const QString keyText = untrustedInTerminal(key, {}).join('\n');
    for (const QString &part : QStringList{key.host, key.keyType, "--trust " + key.fingerprint,
                                           "ssh-keyscan -p 2222 127.0.0.1 | ssh-keygen -lf -"})
        QVERIFY2(keyText.contains(part), qPrintable(part + " in\n" + keyText));
    QCOMPARE(untrustedInTerminal(key, "SHA256:x").first(), "the host key's fingerprint is " +
                                                               key.fingerprint +
                                                               ", not the one given with --trust");

    TrustQuestion clear;
    clear.kind = TrustQuestion::Kind::ClearText;
    QVERIFY(untrustedInTerminal(clear, {}).isEmpty());
}

void TestCheckInTerminal::trustWording()
{
    QCOMPARE(trustedByOptionWording("self-signed, trusted by your answer; expires in 30 days"),
             "self-signed, trusted by --trust; expires in 30 days");
    QCOMPARE(trustedByOptionWording("ssh-ed25519, trusted by you for this session"),
             "ssh-ed25519, trusted by --trust");
    QCOMPARE(trustedByOptionWording("trusted by the system"), "trusted by the system");
}

void TestCheckInTerminal::untrustedAsSteps_data()
{
    QTest::addColumn<TrustQuestion>("asked");
    QTest::addColumn<int>("failed"); // the step that fails, by its place
    QTest::addColumn<int>("steps");
    QTest::newRow("certificate") << certificate() << 4 << int(siteCheckSteps().size());
    QTest::newRow("host key") << hostKey() << 4 << int(sftpSiteCheckSteps().size());
    TrustQuestion clear = question(TrustQuestion::Kind::ClearText, "ftp.example.com", 21, {});
    QTest::newRow("clear text") << clear << 3 << int(siteCheckSteps().size());
}

void TestCheckInTerminal::untrustedAsSteps()
{
    QFETCH(TrustQuestion, asked);
    QFETCH(int, failed);
    QFETCH(int, steps);
    SiteCheckStep resolved;
    resolved.outcome = SiteCheckOutcome::pass("127.0.0.1");
    resolved.elapsedMs = 3;
    const QList<SiteCheckStep> made = untrustedSteps({resolved}, asked, {}, "refused in clear");
    QCOMPARE(made.size(), steps);
    QCOMPARE(made.first().elapsedMs, 3); // as it came
    for (int i = 0; i < made.size(); ++i)
        QCOMPARE(made[i].outcome.result, i < failed    ? SiteCheckResult::Pass
                                         : i == failed ? SiteCheckResult::Fail
                                                       : SiteCheckResult::Skipped);
    const SiteCheckOutcome &outcome = made[failed].outcome;
    if (asked.kind == TrustQuestion::Kind::ClearText) {
        QCOMPARE(outcome.detail, "refused in clear");
    } else {
        QCOMPARE(outcome.detail, untrustedInTerminal(asked, {}).first());
        QVERIFY2(outcome.hint.endsWith("--trust " + asked.fingerprint), qPrintable(outcome.hint));
    }
    QCOMPARE(made.last().cause, outcome.detail);
    QCOMPARE(siteCheckVerdict(made), SiteCheckResult::Fail);
}

void TestCheckInTerminal::exitCodes_data()
{
    QTest::addColumn<QString>("results"); // a step each: pass, skipped, warning, fail
    QTest::addColumn<int>("code");
    QTest::newRow("all passed") << "pp" << 0;
    QTest::newRow("skipped as well") << "ps" << 0;
    QTest::newRow("a warning") << "wp" << 1;
    QTest::newRow("a failure") << "wfp" << 2;
    QTest::newRow("no steps") << "" << 0;
}

void TestCheckInTerminal::exitCodes()
{
    QFETCH(QString, results);
    QFETCH(int, code);
    QList<SiteCheckStep> steps;
    for (const QChar letter : results) {
        SiteCheckStep step;
        step.outcome.result = SiteCheckResult(QStringLiteral("pswf").indexOf(letter));
        steps << step;
    }
    QCOMPARE(int(checkExitCode(siteCheckVerdict(steps))), code);
}

void TestCheckInTerminal::wholeNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -1: refused
    const QList<std::pair<const char *, int>> rows{{"30", 30},  {"0", 0},    {"007", 7},
                                                   {"-1", -1},  {"7.5", -1}, {"", -1},
                                                   {"1e3", -1}, {" 3", -1},  {"99999999999", -1}};
    for (const auto &[text, value] : rows)
        QTest::addRow("'%s'", text) << QString(text) << value;
}

void TestCheckInTerminal::wholeNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(wholeNumberOption(text).value_or(-1), value);
}

QTEST_APPLESS_MAIN(TestCheckInTerminal)
#include "tst_check_in_terminal.moc"
