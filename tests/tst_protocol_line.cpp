// The one formatter of protocol lines and its password guard, the escapes
// that keep a server's control characters off a terminal, and the pure
// rules of the site check in a terminal.
#include "site_check_support.h"
#include "text/check_in_terminal.h"
#include "text/protocol_line.h"
#include "text/site_check_report.h"
#include "text/visible_controls.h"

#include <QRegularExpression>
#include <QTest>

namespace {

const QString Secret = QStringLiteral("s3cr3t-Pw");

ProtocolEvent eventOf(ProtocolEvent::Kind kind, const QString &text)
{
    return ProtocolEvent{QTime(13, 5, 7, 42), kind, text};
}

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
    asked.reason = QStringLiteral("self-signed certificate");
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

class TestProtocolLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void line_data();
    void line();
    void maskedLine_data();
    void maskedLine();
    void jsonNeverCarriesPassword_data();
    void jsonNeverCarriesPassword();
    void tableHints();
    void visibleControls_data();
    void visibleControls();
    void folder_data();
    void folder();
    void fingerprint_data();
    void fingerprint();
    void untrustedSaysWhatTrustNeeds();
    void trustWording();
};

void TestProtocolLine::line_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const auto sent = int(ProtocolEvent::Kind::Sent);
    const auto received = int(ProtocolEvent::Kind::Received);
    const auto info = int(ProtocolEvent::Kind::Info);
    const auto detail = int(ProtocolEvent::Kind::Detail);
    QTest::newRow("sent") << sent << "USER operator"
                          << "13:05:07.042 > USER operator";
    QTest::newRow("received") << received << "230 Login successful."
                              << "13:05:07.042 < 230 Login successful.";
    QTest::newRow("info") << info << "Connected to 127.0.0.1 port 2121"
                          << "13:05:07.042 * Connected to 127.0.0.1 port 2121";
    QTest::newRow("detail") << detail << "Trying 127.0.0.1"
                            << "13:05:07.042 - Trying 127.0.0.1";
    QTest::newRow("password") << sent << "PASS " + Secret << "13:05:07.042 > PASS ****";
    QTest::newRow("password, any case and length")
        << sent << "pass a-much-longer-" + Secret << "13:05:07.042 > PASS ****";
    QTest::newRow("tab") << sent << "PASS\t" + Secret << "13:05:07.042 > PASS ****";
    QTest::newRow("blanks first") << sent << "  PASS " + Secret << "13:05:07.042 >   PASS ****";
    QTest::newRow("line end kept") << sent << "PASS " + Secret + "\r\n"
                                   << "13:05:07.042 > PASS ****  ";
    QTest::newRow("after a line break")
        << sent << "USER op\r\nPASS " + Secret << "13:05:07.042 > USER op  PASS ****";
    QTest::newRow("after an escape")
        << sent << "\x1bPASS " + Secret << "13:05:07.042 > \x1bPASS ****";
    QTest::newRow("in a remark") << detail << "PASS " + Secret << "13:05:07.042 - PASS ****";
    QTest::newRow("no argument") << sent << "PASS"
                                 << "13:05:07.042 > PASS ****";
    QTest::newRow("masked already") << sent << "PASS ****"
                                    << "13:05:07.042 > PASS ****";
    QTest::newRow("reply naming PASS") << received << "503 Login with USER first, then PASS."
                                       << "13:05:07.042 < 503 Login with USER first, then PASS.";
    QTest::newRow("a longer word") << sent << "PASSIVE mode"
                                   << "13:05:07.042 > PASSIVE mode";
    QTest::newRow("line breaks folded") << received << "530 Login\r\nincorrect."
                                        << "13:05:07.042 < 530 Login  incorrect.";
}

void TestProtocolLine::line()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    QTEST(protocolLine(eventOf(ProtocolEvent::Kind(kind), text)), "expected");
}

void TestProtocolLine::maskedLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("masked");
    QTest::newRow("bare") << "PASS " + Secret << "PASS ****";
    QTest::newRow("as logged") << "13:05:07.042 > PASS " + Secret << "13:05:07.042 > PASS ****";
    QTest::newRow("as a remark") << "13:05:07.042 - PASS " + Secret << "13:05:07.042 - PASS ****";
    QTest::newRow("no time") << "--:--:--.--- > pass " + Secret << "--:--:--.--- > PASS ****";
    QTest::newRow("mark only") << "> PASS " + Secret << "> PASS ****";
    QTest::newRow("second line") << "12:00:00.000 > USER op\nPASS " + Secret
                                 << "12:00:00.000 > USER op\nPASS ****";
    QTest::newRow("other command") << "13:05:07.042 > USER op"
                                   << "13:05:07.042 > USER op";
    QTest::newRow("lower case") << "pass " + Secret << "PASS ****";
    QTest::newRow("reply naming PASS") << "503 Login with USER first, then PASS."
                                       << "503 Login with USER first, then PASS.";
}

void TestProtocolLine::maskedLine()
{
    QFETCH(QString, line);
    QTEST(protocolLineMasked(line), "masked");
}

void TestProtocolLine::jsonNeverCarriesPassword_data()
{
    QTest::addColumn<QStringList>("lines");
    const QString pass = "PASS " + Secret;
    QStringList formatted;
    for (const auto kind : {ProtocolEvent::Kind::Sent, ProtocolEvent::Kind::Received,
                            ProtocolEvent::Kind::Info, ProtocolEvent::Kind::Detail})
        formatted << protocolLine(eventOf(kind, pass))
                  << protocolLine(eventOf(kind, "USER op\r\n" + pass));
    QTest::newRow("formatted, every kind") << formatted;
    QTest::newRow("kept as text") << QStringList{"12:00:00.001 > " + pass, "12:00:00.002 - " + pass,
                                                 "12:00:00.003 > USER op\r\n" + pass,
                                                 "12:00:00.004 >  pass\t" + Secret, pass};
}

void TestProtocolLine::jsonNeverCarriesPassword()
{
    QFETCH(QStringList, lines);
    SiteCheckReport report;
    report.target = QStringLiteral("ftp://h:21/");
    report.started = QDateTime::currentDateTimeUtc();
    report.protocolLines = lines;
    const QByteArray saved = siteCheckJson(report, QStringLiteral("libcurl"), QStringLiteral("x"));
    QVERIFY2(!saved.contains(Secret.toUtf8()), saved.constData());
    QCOMPARE(saved.count("PASS ****"), lines.size());
}

void TestProtocolLine::tableHints()
{
    SiteCheckReport report{"ftp://h:21/", "Site", Now, {}, {}};
    report.steps << step(SiteCheckStepId::Greeting, Result::Pass, "fast", "unused")
                 << step(SiteCheckStepId::Encryption, Result::Warning, "no TLS", "ask for\nTLS")
                 << step(SiteCheckStepId::Login, Result::Fail, "530", "check the password")
                 << step(SiteCheckStepId::Features, Result::Skipped, "after 6", "unused");
    const QStringList lines = siteCheckTable(report).split('\n');
    const auto header = lines.indexOf(QRegularExpression("^Step +Result +Time +Detail$"));
    QVERIFY(header >= 0);
    const auto detail = lines[header].indexOf("Detail");
    const QStringList expected = {siteCheckStepTitle(SiteCheckStepId::Greeting),
                                  siteCheckStepTitle(SiteCheckStepId::Encryption),
                                  QString(detail, ' ') + "Hint: ask for TLS",
                                  siteCheckStepTitle(SiteCheckStepId::Login),
                                  QString(detail, ' ') + "Hint: check the password",
                                  siteCheckStepTitle(SiteCheckStepId::Features),
                                  QString()};
    // A row starts with its step; a hint line and the blank line before the
    // verdict are whole.
    for (int i = 0; i < expected.size(); ++i) {
        const QString &line = lines[header + 2 + i];
        const bool whole = expected[i].isEmpty() || expected[i].startsWith(' ');
        QVERIFY2(whole ? line == expected[i] : line.startsWith(expected[i] + ' '),
                 qPrintable(line));
    }
    QVERIFY(!siteCheckTable(report).contains("unused"));
}

void TestProtocolLine::visibleControls_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("visible");
    QTest::newRow("plain") << "220 Ready, C:\\x"
                           << "220 Ready, C:\\x";
    QTest::newRow("title") << "220 \x1b]0;owned\x07 hi"
                           << "220 \\x1b]0;owned\\x07 hi";
    QTest::newRow("clear") << "\x1b[2J"
                           << "\\x1b[2J";
    QTest::newRow("line breaks") << "a\r\nb\tc"
                                 << "a\\r\\nb\\tc";
    QTest::newRow("nul and del") << QString::fromLatin1("a\0b\x7f", 4) << "a\\x00b\\x7f";
    QTest::newRow("C1 introducer") << QString(QChar(0x9b)) + "2J"
                                   << "\\u009b2J";
    QTest::newRow("letters kept") << QString::fromUtf8("Grüße ✓") << QString::fromUtf8("Grüße ✓");
}

void TestProtocolLine::visibleControls()
{
    QFETCH(QString, text);
    QTEST(withVisibleControls(text), "visible");
}

void TestProtocolLine::folder_data()
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

void TestProtocolLine::folder()
{
    QFETCH(QString, path);
    QFETCH(bool, sftp);
    QTEST(terminalCheckFolder(path, sftp), "folder");
}

void TestProtocolLine::fingerprint_data()
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

void TestProtocolLine::fingerprint()
{
    QFETCH(bool, isHostKey);
    QFETCH(QString, given);
    QTEST(trustedByFingerprint(isHostKey ? hostKey() : certificate(), given), "trusted");
}

void TestProtocolLine::untrustedSaysWhatTrustNeeds()
{
    const TrustQuestion cert = certificate();
    const QString unknown = untrustedInTerminal(cert, {}).join('\n');
    for (const QString &part :
         QStringList{cert.host, QString::number(cert.port), cert.subject, cert.reason,
                     "--trust " + cert.fingerprint,
                     "openssl s_client -connect ftp.example.com:2121 -starttls ftp"})
        QVERIFY2(unknown.contains(part), qPrintable(part + " in\n" + unknown));
    QVERIFY(trustedByFingerprint(cert, unknown.section("--trust ", 1).section('\n', 0, 0)));
    QCOMPARE(untrustedInTerminal(cert, "AA:BB").first(), "the certificate's fingerprint is " +
                                                             cert.fingerprint +
                                                             ", not the one given with --trust");

    TrustQuestion v6 = cert;
    v6.host = QStringLiteral("::1");
    QVERIFY(untrustedInTerminal(v6, {}).join('\n').contains("-connect [::1]:2121 "));

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

void TestProtocolLine::trustWording()
{
    QCOMPARE(trustedByOptionWording("self-signed, trusted by your answer; expires in 30 days"),
             "self-signed, trusted by --trust; expires in 30 days");
    QCOMPARE(trustedByOptionWording("ssh-ed25519, trusted by you for this session"),
             "ssh-ed25519, trusted by --trust");
    QCOMPARE(trustedByOptionWording("trusted by the system"), "trusted by the system");
}

QTEST_APPLESS_MAIN(TestProtocolLine)
#include "tst_protocol_line.moc"
