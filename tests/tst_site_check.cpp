// The site check's rules apart from the engine: what each step's facts
// make of it, by tables. The report and its window are in
// tst_site_check_report.cpp.
#include "site_check/rules/site_check_file_rules.h"
#include "site_check/rules/site_check_rules.h"
#include "site_check/rules/site_check_tls_rules.h"
#include "site_check/site_check_findings.h"
#include "site_check_support.h"

#include <QTest>

#include <cerrno>

class TestSiteCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void connectFailure_data();
    void connectFailure();
    void greeting_data();
    void greeting();
    void certificate_data();
    void certificate();
    void certificateLimits_data();
    void certificateLimits();
    void features();
    void passiveAddress_data();
    void passiveAddress();
    void pasvReply_data();
    void pasvReply();
    void transcript();
    void clock_data();
    void clock();
    void readBack_data();
    void readBack();
    void outcomes_data();
    void outcomes();
    void payload();
};

void TestSiteCheck::connectFailure_data()
{
    QTest::addColumn<long>("osErrno");
    QTest::addColumn<bool>("timedOut");
    QTest::addColumn<QString>("hint");
    QTest::newRow("refused") << long(ECONNREFUSED) << false
                             << "nothing accepts connections on port 2121";
    QTest::newRow("timed out") << 0L << true << "a firewall drops port 2121";
    QTest::newRow("system time-out") << long(ETIMEDOUT) << false << "a firewall drops port 2121";
    QTest::newRow("no route") << long(EHOSTUNREACH) << true << "no route";
}

void TestSiteCheck::connectFailure()
{
    QFETCH(long, osErrno);
    QFETCH(bool, timedOut);
    QFETCH(QString, hint);
    const SiteCheckOutcome o =
        connectionFailedOutcome(connectFailureKind(osErrno, timedOut), "192.0.2.7", 2121);
    QCOMPARE(o.result, Result::Fail);
    QVERIFY2(o.hint.contains(hint, Qt::CaseInsensitive), qPrintable(o.hint));
}

void TestSiteCheck::greeting_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<Result>("result");
    QTest::newRow("prompt") << 220 << qint64(40) << Result::Pass;
    QTest::newRow("5 s") << 220 << qint64(5000) << Result::Pass;
    QTest::newRow("slow") << 220 << qint64(5001) << Result::Warning;
    QTest::newRow("too many sessions") << 421 << qint64(40) << Result::Fail;
    QTest::newRow("not FTP") << 500 << qint64(40) << Result::Fail;
}

void TestSiteCheck::greeting()
{
    QFETCH(int, code);
    QFETCH(qint64, elapsed);
    QFETCH(Result, result);
    const SiteCheckOutcome o = greetingOutcome(code, "Ready.", elapsed);
    QCOMPARE(o.result, result);
    QVERIFY(o.detail.contains(QString::number(code)));
    QCOMPARE(o.hint.isEmpty(), result == Result::Pass);
}

void TestSiteCheck::certificate_data()
{
    QTest::addColumn<bool>("system");
    QTest::addColumn<bool>("operatorTrust");
    QTest::addColumn<bool>("nameMatches");
    QTest::addColumn<int>("days");
    QTest::addColumn<Result>("result");
    QTest::newRow("trusted, a year") << true << false << true << 365 << Result::Pass;
    QTest::newRow("31 days left") << true << false << true << 31 << Result::Pass;
    QTest::newRow("30 days left") << true << false << true << 30 << Result::Warning;
    QTest::newRow("self-signed, answered") << false << true << true << 365 << Result::Warning;
    QTest::newRow("expired") << true << false << true << -2 << Result::Fail;
    QTest::newRow("expired, answered") << false << true << true << -2 << Result::Warning;
    QTest::newRow("wrong name") << true << false << false << 365 << Result::Fail;
    QTest::newRow("wrong name, answered") << false << true << false << 365 << Result::Warning;
}

void TestSiteCheck::certificate()
{
    QFETCH(bool, system);
    QFETCH(bool, operatorTrust);
    QFETCH(bool, nameMatches);
    QFETCH(int, days);
    QFETCH(Result, result);
    const CertificateCheck c{true,     system,      operatorTrust,
                             !system,  nameMatches, Now.addDays(days).addSecs(60),
                             "Test CA"};
    const SiteCheckOutcome o = certificateOutcome(c, Now);
    QCOMPARE(o.result, result);
    QCOMPARE(o.hint.isEmpty(), result == Result::Pass);
    QCOMPARE(certificateOutcome(CertificateCheck{}, Now).result, Result::Skipped);
}

void TestSiteCheck::certificateLimits_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("warn");
    QTest::addColumn<int>("crit");
    QTest::addColumn<Result>("result");
    QTest::newRow("8 days, defaults") << 8 << 30 << 7 << Result::Warning;
    QTest::newRow("7 days, defaults") << 7 << 30 << 7 << Result::Fail;
    QTest::newRow("3 days, defaults") << 3 << 30 << 7 << Result::Fail;
    QTest::newRow("3 days, crit 2") << 3 << 5 << 2 << Result::Warning;
    QTest::newRow("3 days, warn 2") << 3 << 2 << 1 << Result::Pass;
    QTest::newRow("40 days, warn 60") << 40 << 60 << 7 << Result::Warning;
    QTest::newRow("31 days, defaults") << 31 << 30 << 7 << Result::Pass;
    QTest::newRow("today, limits 0") << 0 << 0 << 0 << Result::Fail;
    QTest::newRow("a day, limits 0") << 1 << 0 << 0 << Result::Pass;
}

void TestSiteCheck::certificateLimits()
{
    QFETCH(int, days);
    QFETCH(int, warn);
    QFETCH(int, crit);
    QFETCH(Result, result);
    for (const bool operatorTrust : {false, true}) {
        const CertificateCheck c{true,     !operatorTrust, operatorTrust,
                                 false,    true,           Now.addDays(days).addSecs(60),
                                 "Test CA"};
        const SiteCheckOutcome o = certificateOutcome(c, Now, CertificateLimits{warn, crit});
        // The operator's trust adds its own warning, never lifts a failure.
        QCOMPARE(o.result, operatorTrust ? std::max(result, Result::Warning) : result);
        QVERIFY2(result == Result::Pass ||
                     o.detail.contains(QStringLiteral("expires in %1 day").arg(days)),
                 qPrintable(o.detail));
    }
}

void TestSiteCheck::features()
{
    const QStringList feat{"211-Features:",
                           " UTF8",
                           " MLSD type*;size*;modify*;",
                           " rest stream",
                           " HASH SHA-256*;MD5",
                           " SIZE",
                           "211 End"};
    QCOMPARE(offeredFeatures(feat), (QStringList{"UTF8", "MLSD", "REST STREAM", "HASH", "SIZE"}));
    const SiteCheckOutcome offered = featuresOutcome(true, offeredFeatures(feat), "UNIX Type: L8");
    QCOMPARE(offered.result, Result::Pass);
    QVERIFY2(offered.detail.contains("lacks EPSV, MDTM"), qPrintable(offered.detail));
    QCOMPARE(featuresOutcome(false, {}, {}).result, Result::Warning);
}

void TestSiteCheck::passiveAddress_data()
{
    QTest::addColumn<QString>("advertised");
    QTest::addColumn<QString>("peer");
    QTest::addColumn<Result>("result");
    QTest::newRow("same") << "203.0.113.5"
                          << "203.0.113.5" << Result::Pass;
    QTest::newRow("same, peer as IPv6") << "127.0.0.1"
                                        << "::ffff:127.0.0.1" << Result::Pass;
    QTest::newRow("same private network") << "10.0.0.1"
                                          << "10.0.0.1" << Result::Pass;
    QTest::newRow("EPSV, none named") << ""
                                      << "203.0.113.5" << Result::Pass;
    QTest::newRow("private") << "192.168.1.10"
                             << "127.0.0.1" << Result::Warning;
    QTest::newRow("carrier NAT") << "100.64.3.4"
                                 << "203.0.113.5" << Result::Warning;
    QTest::newRow("loopback elsewhere") << "127.0.0.1"
                                        << "203.0.113.5" << Result::Warning;
    QTest::newRow("link-local") << "169.254.9.9"
                                << "203.0.113.5" << Result::Warning;
    QTest::newRow("foreign") << "198.51.100.7"
                             << "203.0.113.5" << Result::Warning;
    QTest::newRow("not an address") << "300.1.1.1"
                                    << "203.0.113.5" << Result::Warning;
}

void TestSiteCheck::passiveAddress()
{
    QFETCH(QString, advertised);
    QFETCH(QString, peer);
    QFETCH(Result, result);
    const SiteCheckOutcome o = passiveAddressOutcome(advertised, peer);
    QCOMPARE(o.result, result);
    if (result == Result::Warning) {
        QVERIFY2(o.detail.contains(advertised), qPrintable(o.detail));
        QVERIFY(o.hint.contains("public address"));
    }
}

void TestSiteCheck::pasvReply_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("address");
    QTest::newRow("usual") << "Entering Passive Mode (192,168,1,10,195,80)."
                           << "192.168.1.10";
    QTest::newRow("no brackets") << "Entering Passive Mode 10,0,0,1,4,1"
                                 << "10.0.0.1";
    QTest::newRow("too few numbers") << "Entering Passive Mode (10,0,0,1,4)."
                                     << "";
    QTest::newRow("words only") << "Entering Passive Mode."
                                << "";
}

void TestSiteCheck::pasvReply()
{
    QFETCH(QString, reply);
    QFETCH(QString, address);
    QCOMPARE(pasvAddress(reply), address);
}

// Each reply goes with the command it answers: the greeting with none, the
// final reply after a preliminary one with the same command.
void TestSiteCheck::transcript()
{
    SiteCheckTranscript transcript;
    transcript.replied({220, "220 Hello"}, 5);
    transcript.sent("STOR file", 10);
    transcript.replied({150, "150 Go ahead"}, 11);
    transcript.replied({226, "226 Done"}, 40);
    transcript.sent("SIZE file", 41);
    transcript.replied({213, "213-Size\r\n213 262144"}, 42);

    QCOMPARE(transcript.greeting()->code, 220);
    const SiteCheckExchange *stor = transcript.last("STOR");
    QVERIFY(stor);
    QCOMPARE(stor->code, 226);
    QCOMPARE(stor->elapsedMs(), 30);
    QCOMPARE(transcript.last("SIZE")->words(), QStringLiteral("262144"));
    QVERIFY(!transcript.last("STOR", 3)); // not among the exchanges from the third on
}

void TestSiteCheck::clock_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<Result>("result");
    QTest::addColumn<bool>("wholeHours");
    QTest::newRow("on time") << "213 20260301120000" << Result::Pass << false;
    QTest::newRow("fraction") << "213 20260301120159.250" << Result::Pass << false;
    QTest::newRow("2 min 1 s ahead") << "213 20260301120201" << Result::Warning << false;
    QTest::newRow("an hour ahead") << "213 20260301130000" << Result::Warning << true;
    QTest::newRow("two hours behind, upload slow")
        << "213 20260301095930" << Result::Warning << true;
    QTest::newRow("half an hour") << "213 20260301123000" << Result::Warning << false;
    QTest::newRow("not a time") << "213 yesterday" << Result::Warning << false;
    QTest::newRow("no MDTM") << "502 Command not implemented." << Result::Skipped << false;
}

void TestSiteCheck::clock()
{
    QFETCH(QString, reply);
    QFETCH(Result, result);
    QFETCH(bool, wholeHours);
    const SiteCheckOutcome o = clockOutcome(reply, Now);
    QCOMPARE(o.result, result);
    QCOMPARE(o.hint.contains("hours"), wholeHours);
}

void TestSiteCheck::readBack_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<Result>("result");
    QTest::addColumn<QString>("hint");
    const QByteArray sent("a\r\nb\nc\0d", 8);
    QTest::newRow("same") << sent << Result::Pass << "";
    QTest::newRow("CR added") << QByteArray("a\r\r\nb\r\nc\0d", 10) << Result::Fail << "ASCII";
    QTest::newRow("CR dropped") << QByteArray("a\nb\nc\0d", 7) << Result::Fail << "ASCII";
    QTest::newRow("cut") << sent.left(5) << Result::Fail << "ended early";
    QTest::newRow("changed") << QByteArray("a\r\nb\nc\0e", 8) << Result::Fail << "changed";
}

void TestSiteCheck::readBack()
{
    QFETCH(QByteArray, received);
    QFETCH(Result, result);
    QFETCH(QString, hint);
    const SiteCheckOutcome o = readBackOutcome(QByteArray("a\r\nb\nc\0d", 8), received, 3, 10);
    QCOMPARE(o.result, result);
    QVERIFY2(o.hint.contains(hint), qPrintable(o.hint));
}

// The rules of one shape: facts in, a result and a word of the detail out.
void TestSiteCheck::outcomes_data()
{
    QTest::addColumn<SiteCheckOutcome>("outcome");
    QTest::addColumn<Result>("result");
    QTest::addColumn<QString>("detailHas");
    QTest::newRow("no address") << nameResolutionOutcome("ftp.invalid", {}) << Result::Fail
                                << "ftp.invalid";
    QTest::newRow("both families")
        << nameResolutionOutcome("h", {"192.0.2.1", "2001:db8::1", "192.0.2.2"}) << Result::Pass
        << "2 IPv4, 1 IPv6";
    QTest::newRow("TLS") << encryptionOutcome("TLS 1.3", "TLS_AES_256_GCM_SHA384") << Result::Pass
                         << "TLS_AES_256_GCM_SHA384";
    QTest::newRow("no TLS") << encryptionOutcome({}, {}) << Result::Warning << "no TLS";
    QTest::newRow("TLS 1.0") << encryptionOutcome("TLS 1.0", {}) << Result::Warning << "1.0";
    QTest::newRow("implicit TLS") << encryptionOutcome("TLS 1.2", "ECDHE-RSA-AES256-GCM-SHA384",
                                                       true)
                                  << Result::Pass
                                  << "TLS 1.2, ECDHE-RSA-AES256-GCM-SHA384, implicit TLS";
    QTest::newRow("silent server") << noGreetingOutcome(true, 10) << Result::Fail
                                   << "no greeting within 10 s";
    QTest::newRow("closed before greeting")
        << noGreetingOutcome(false, 10) << Result::Fail << "closed the connection";
    QTest::newRow("logged in") << loginOutcome(230, "OK", "op") << Result::Pass << "op";
    QTest::newRow("login refused")
        << loginOutcome(530, "Login incorrect.", "op") << Result::Fail << "530";
    QTest::newRow("listing") << passiveDataOutcome({false, true, true, 3, "127.0.0.1:5000"})
                             << Result::Pass << "PASV";
    QTest::newRow("listing of one") << passiveDataOutcome({true, true, true, 1, "127.0.0.1:5000"})
                                    << Result::Pass << "1 entry over EPSV";
    QTest::newRow("data port closed")
        << passiveDataOutcome({true, false, false, 0, "127.0.0.1:5000"}) << Result::Fail
        << "127.0.0.1:5000";
    QTest::newRow("listing cut") << passiveDataOutcome({true, true, false, 2, "127.0.0.1:5000"})
                                 << Result::Fail << "cut short";
    QTest::newRow("data in clear")
        << dataProtectionOutcome({true, false, false}) << Result::Warning << "PROT P";
    QTest::newRow("no TLS, no data protection")
        << dataProtectionOutcome({false, false, false}) << Result::Skipped << "TLS";
    QTest::newRow("written") << writeOutcome(226, "OK", "/in", 262144) << Result::Pass << "/in";
    for (const int code : {550, 553, 532})
        QTest::addRow("write refused %d", code)
            << writeOutcome(code, "No.", "/in", 0) << Result::Warning << writeRefusedText("/in");
    QTest::newRow("disk full") << writeOutcome(452, "Full.", "/in", 0) << Result::Fail << "452";
    QTest::newRow("confirmed at once") << confirmationOutcome(12) << Result::Pass << "12 ms";
    QTest::newRow("confirmed just in time")
        << confirmationOutcome(SlowConfirmationMs) << Result::Pass << "confirmed";
    QTest::newRow("slow to confirm")
        << confirmationOutcome(SlowConfirmationMs + 1) << Result::Warning << "confirmed";
    QTest::newRow("confirmed after 1.5 s")
        << confirmationOutcome(1534) << Result::Warning << "confirmed 1.5 s after the last byte";
    QTest::newRow("confirmation not measured") << confirmationOutcome(-1) << Result::Skipped << "";
    QTest::newRow("size as sent") << sizeOutcome(10, 10) << Result::Pass << "10";
    QTest::newRow("size differs") << sizeOutcome(10, 5) << Result::Fail << "5";
    QTest::newRow("no size") << sizeOutcome(10, -1) << Result::Skipped << "SIZE";
    QTest::newRow("no hash") << hashOutcome({}, "ab", {}) << Result::Skipped << "hash";
    QTest::newRow("hash unreadable")
        << hashOutcome({{}, "XMD5", "MD5"}, "ab", {}) << Result::Warning << "XMD5";
    QTest::newRow("deleted") << cleanUpOutcome(250, "OK", "/in/f.tmp", false) << Result::Pass
                             << "/in/f.tmp";
    QTest::newRow("delete refused")
        << cleanUpOutcome(550, "No.", "/in/f.tmp", true) << Result::Warning << "/in/f.tmp";
    QTest::newRow("deleted, still there")
        << cleanUpOutcome(250, "OK", "/in/f.tmp", true) << Result::Warning << "/in/f.tmp";
    QTest::newRow("active") << activeModeOutcome({true, false, true}) << Result::Pass << "PORT";
    QTest::newRow("active blocked, passive works")
        << activeModeOutcome({false, false, true}) << Result::Warning << "came back";
    QTest::newRow("PORT refused") << activeModeOutcome({false, true, true}) << Result::Warning
                                  << "refuses";
    QTest::newRow("no data connection at all")
        << activeModeOutcome({false, false, false}) << Result::Fail << "came back";
    QTest::newRow("no IPv6") << ipv6Outcome({}) << Result::Skipped << "no IPv6";
    QTest::newRow("IPv6 silent") << ipv6Outcome({"2001:db8::1", false, false, false})
                                 << Result::Warning << "2001:db8::1";
    QTest::newRow("IPv6") << ipv6Outcome({"2001:db8::1", true, true, true}) << Result::Pass
                          << "2001:db8::1";
    QTest::newRow("parts, one skipped")
        << combinedOutcome({sizeOutcome(10, 10), sizeOutcome(10, -1)}) << Result::Pass << "SIZE";
    QTest::newRow("parts, all skipped")
        << combinedOutcome({sizeOutcome(10, -1)}) << Result::Skipped << "SIZE";
    QTest::newRow("parts, worst wins")
        << combinedOutcome({clockOutcome("213 20260301130000", Now), sizeOutcome(10, 5)})
        << Result::Fail << "MDTM";
}

void TestSiteCheck::outcomes()
{
    QFETCH(SiteCheckOutcome, outcome);
    QFETCH(Result, result);
    QFETCH(QString, detailHas);
    QCOMPARE(outcome.result, result);
    QVERIFY2(outcome.detail.contains(detailHas), qPrintable(outcome.detail));
    // A hint is for warnings and failures, and each has one.
    QCOMPARE(outcome.hint.isEmpty(), result == Result::Pass || result == Result::Skipped);
}

void TestSiteCheck::payload()
{
    QRandomGenerator random(7);
    const QByteArray one = siteCheckPayload(random);
    const QByteArray two = siteCheckPayload(random);
    QCOMPARE(one.size(), 256 * 1024);
    QVERIFY(one != two);
    for (const char mark : {'\r', '\n', '\0', '\x1a'})
        QVERIFY(one.left(1024).contains(mark));
    QVERIFY(siteCheckFileName(Now, random) != siteCheckFileName(Now, random));
    QVERIFY(activeModeBrokenUnderTls("7.88.1"));
    QVERIFY(!activeModeBrokenUnderTls("8.0.1"));
    QVERIFY(!activeModeBrokenUnderTls("7.8.0"));
    QVERIFY(activeModeSkippedOutcome("7.88.1").detail.contains("7.88.1"));
}

QTEST_GUILESS_MAIN(TestSiteCheck)
#include "tst_site_check.moc"
