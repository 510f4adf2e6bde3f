// The one formatter of protocol lines and its password guard, the report's
// table, and the escapes that keep a server's control characters off a
// terminal.
#include "site_check_support.h"
#include "text/protocol_line.h"
#include "text/report/site_check_report.h"
#include "text/visible_controls.h"

#include <QRegularExpression>
#include <QTest>

namespace {

const QString Secret = QStringLiteral("s3cr3t-Pw");

ProtocolEvent eventOf(ProtocolEvent::Kind kind, const QString &text)
{
    return ProtocolEvent{QTime(13, 5, 7, 42), kind, text};
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

QTEST_APPLESS_MAIN(TestProtocolLine)
#include "tst_protocol_line.moc"
