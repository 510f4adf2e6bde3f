// The terminal check's formats as monitors read them, each read by the
// monitor's own reader: the Prometheus client library's parser, xmllint,
// the Nagios plugin grammar; the summary of repeated runs; and arguments
// that cannot run.
#include "monitor_readers.h"
#include "site_check_support.h"
#include "terminal_check.h"
#include "text/report/check_formats.h"
#include "text/report/check_in_terminal.h"

#include <QLocale>
#include <QTest>

using Id = SiteCheckStepId;
Q_DECLARE_METATYPE(SiteCheckReport)

namespace {

// A report of `steps`, each taking 250 ms, the whole check 2.5 s.
SiteCheckReport report(const QList<SiteCheckStep> &steps, const QString &target = "ftp://h:21/")
{
    SiteCheckReport r{target, "h", Now, steps, {}, 2500};
    for (SiteCheckStep &s : r.steps)
        s.elapsedMs = s.outcome.result == Result::Skipped ? -1 : 250;
    return r;
}

// Every step of an FTP check passed, the certificate ending in 20 days.
SiteCheckReport passed()
{
    QList<SiteCheckStep> steps;
    for (Id id : siteCheckSteps())
        steps << step(id, Result::Pass, "fine");
    steps[4].measured["notAfter"] = Now.addDays(20).addSecs(60);
    steps[12].measured["bytes"] = qint64(1000);
    return report(steps);
}

// `run` with step `id` turned to `result`, `detail` and `hint`.
SiteCheckReport with(SiteCheckReport run, Id id, Result result, const QString &detail,
                     const QString &hint = "What to do.")
{
    for (SiteCheckStep &s : run.steps)
        if (s.id == id)
            s.outcome = {result, detail, hint};
    return run;
}

QByteArray output(CheckFormat format, const QList<SiteCheckReport> &runs)
{
    return checkOutput(format, runs, {"7.88.1", "Sarvel 0.1", {}});
}

} // namespace

class TestCheckFormats : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void argumentsThatCannotRun_data();
    void argumentsThatCannotRun();
    void summaryOfRuns();
    void nagios_data();
    void nagios();
    void prometheus();
    void junit();
    void repeatedRuns();
};

void TestCheckFormats::argumentsThatCannotRun_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown format") << "ftp://127.0.0.1:1" << QStringList{"--format", "xml"};
    QTest::newRow("json and nagios")
        << "ftp://127.0.0.1:1" << QStringList{"--json", "--format", "nagios"};
    QTest::newRow("negative warn") << "ftp://127.0.0.1:1" << QStringList{"--cert-warn", "-1"};
    QTest::newRow("crit over warn")
        << "ftp://127.0.0.1:1" << QStringList{"--cert-warn", "7", "--cert-crit", "8"};
    QTest::newRow("nagios, crit over warn")
        << "ftp://127.0.0.1:1" << QStringList{"--format", "nagios", "--cert-crit", "31"};
    QTest::newRow("crit over default warn")
        << "ftp://127.0.0.1:1" << QStringList{"--cert-crit", "31"};
    QTest::newRow("days with a fraction")
        << "ftp://127.0.0.1:1" << QStringList{"--cert-crit", "2.5"};
    QTest::newRow("no runs") << "ftp://127.0.0.1:1" << QStringList{"--repeat", "0"};
    QTest::newRow("interval a word")
        << "ftp://127.0.0.1:1" << QStringList{"--repeat", "2", "--interval", "x"};
    QTest::newRow("output without a name") << "ftp://127.0.0.1:1" << QStringList{"--output", ""};
    QTest::newRow("unknown option") << "ftp://127.0.0.1:1" << QStringList{"--soon"};
    QTest::newRow("password in the URL") << "ftp://u:pw@127.0.0.1:1" << QStringList{};
    QTest::newRow("not FTP") << "http://127.0.0.1:1" << QStringList{};
}

void TestCheckFormats::argumentsThatCannotRun()
{
    QFETCH(QString, url);
    QFETCH(QStringList, arguments);
    const TerminalRun run = checkInTerminal(url, arguments);
    QCOMPARE(run.status, int(CheckUnknown));
    QVERIFY2(run.err.startsWith("sarvel: ") && run.err.contains("\nUsage: sarvel"),
             run.err.constData());
    // A Nagios plugin's monitor reads standard output alone.
    if (arguments.contains("nagios"))
        QVERIFY2(run.out.startsWith("SARVEL UNKNOWN - sarvel: ") && run.out.count('\n') == 1,
                 run.out.constData());
    else
        QVERIFY(run.out.isEmpty());
}

void TestCheckFormats::summaryOfRuns()
{
    SiteCheckReport slow = with(passed(), Id::Write, Result::Fail, "550 no space");
    slow.steps[0].elapsedMs = 4000;
    const QList<SiteCheckReport> runs{passed(),
                                      with(passed(), Id::Write, Result::Fail, "550 no space"),
                                      with(passed(), Id::Ipv6, Result::Warning, "no IPv6"), slow,
                                      with(passed(), Id::Greeting, Result::Fail, "no greeting")};
    const SiteCheckRunsSummary s = summarizeSiteChecks(runs);
    QCOMPARE(s.runs, 5);
    QCOMPARE(s.passed, 1);
    QCOMPARE(s.warned, 1);
    QCOMPARE(s.failed, 3);
    QCOMPARE(s.worst, 1);
    QCOMPARE(s.failures.size(), 2);
    QCOMPARE(s.failures[0].id, Id::Greeting); // in the order of the steps
    QCOMPARE(s.failures[1].id, Id::Write);
    QCOMPARE(s.failures[1].count, 2);
    QCOMPARE(s.failures[1].reason, "550 no space");
    const CheckSpread dns = s.phases.at(checkPhaseNames().indexOf("dns"));
    QCOMPARE(dns.count, 5);
    QCOMPARE(dns.p50, 0.25);
    QCOMPARE(dns.p95, 4.0); // the nearest rank: the 5th of 5
    QCOMPARE(dns.max, 4.0);
    QCOMPARE(s.phases.first().p50, 2.5);
    QCOMPARE(s.readBackRate.p50, 4000.0); // 1000 bytes in 250 ms
    const QStringList lines = siteCheckRunsLines("ftp://h:21/", s);
    QVERIFY2(lines.first().endsWith("5 runs, 1 passed, 1 warned, 3 failed"), qPrintable(lines[0]));
    QVERIFY(lines.contains("  2 x 11. Write: 550 no space"));
}

void TestCheckFormats::nagios_data()
{
    QTest::addColumn<SiteCheckReport>("run");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("culprit"); // what the first line names after the target
    QTest::newRow("passed") << passed() << "OK"
                            << "Site check: 16 passed";
    QTest::newRow("warning") << with(passed(), Id::Encryption, Result::Warning, "no TLS")
                             << "WARNING"
                             << "1 warning: 4. Encryption: no TLS";
    QTest::newRow("failure with a bar and a line break")
        << with(passed(), Id::Login, Result::Fail, "530 a|b\nc") << "CRITICAL"
        << "1 failed: 6. Login: 530 a/b c";
}

void TestCheckFormats::nagios()
{
    QFETCH(SiteCheckReport, run);
    QFETCH(QString, status);
    QFETCH(QString, culprit);
    QLocale::setDefault(QLocale(QLocale::German)); // decimals stay "."
    const QByteArray text = output(CheckFormat::Nagios, {run});
    QLocale::setDefault(QLocale::c());
    const NagiosOutput read = readNagios(text);
    QVERIFY2(!read.status.isEmpty(), text.constData());
    QCOMPARE(read.status, status);
    QVERIFY2(read.text.startsWith("ftp://h:21/: " + culprit), qPrintable(read.text));
    for (const char *label : {"total", "dns", "connect", "login", "listing", "write", "read"})
        QVERIFY2(read.perf.value(label).value(1) == "s", label);
    QCOMPARE(read.perf.value("total").first(), "2.500");
    QCOMPARE(read.perf.value("cert_days"), (QStringList{"20", "", "30", "7", "", ""}));
    QCOMPARE(read.longOutput.size(), run.steps.size());
}

void TestCheckFormats::prometheus()
{
    SiteCheckReport run = with(passed(), Id::Write, Result::Fail, "550 \"no\" space");
    run.target = "ftp://h:21/a\"b\\c\nd";
    QByteArray error;
    const QJsonArray families = prometheusFamilies(output(CheckFormat::Prometheus, {run}), &error);
    QVERIFY2(!families.isEmpty(), error.constData());
    for (const QJsonValue &family : families) {
        QVERIFY(family["name"].toString().startsWith("sarvel_"));
        QCOMPARE(family["type"].toString(), "gauge");
        QVERIFY(!family["help"].toString().isEmpty());
        for (const QJsonValue &sample : family["samples"].toArray())
            QCOMPARE(sample["labels"]["target"].toString(), run.target);
    }
    QCOMPARE(firstValue(families, "sarvel_check_success"), 0.0);
    const QJsonArray steps = prometheusSamples(families, "sarvel_check_step_result");
    QCOMPARE(steps.size(), run.steps.size());
    QCOMPARE(steps[10]["labels"]["step"].toString(), "11");
    QCOMPARE(steps[10]["labels"]["name"].toString(), "Write");
    QCOMPARE(steps[10]["labels"]["result"].toString(), "fail");
    const QJsonArray phases = prometheusSamples(families, "sarvel_check_phase_duration_seconds");
    QCOMPARE(phases.size(), checkPhaseNames().size() - 1);
    QCOMPARE(phases[0]["labels"]["phase"].toString(), "dns");
    QCOMPARE(phases[0]["value"].toDouble(), 0.25);
    QCOMPARE(firstValue(families, "sarvel_ssl_earliest_cert_expiry"),
             double(Now.addDays(20).addSecs(60).toSecsSinceEpoch()));
    QCOMPARE(firstValue(families, "sarvel_check_duration_seconds"), 2.5);
    QCOMPARE(firstValue(families, "sarvel_check_read_back_bytes_per_second"), 4000.0);
}

void TestCheckFormats::junit()
{
    // Control characters XML 1.0 forbids, and a non-character, in a reply.
    SiteCheckReport run =
        with(passed(), Id::Login, Result::Fail, "530 \x01\x1b[2J <no> & \"", "Check the password.");
    run.steps[5].replyCode = 530;
    run.steps[5].replyText = QStringLiteral("bad\x0b") + QChar(0xfffe);
    run = with(run, Id::Features, Result::Warning, "no FEAT", "Old server.");
    for (qsizetype i = 7; i < run.steps.size(); ++i)
        run.steps[i].outcome = SiteCheckOutcome::skippedAfter(6, Result::Fail);
    const QByteArray xml = output(CheckFormat::Junit, {run});
    QByteArray error;
    QVERIFY2(xmlWellFormed(xml, &error), error.constData());
    QCOMPARE(xpath(xml, "count(/testsuites/testsuite)"), "1");
    QCOMPARE(xpath(xml, "string(/testsuites/testsuite/@name)"), run.target);
    QCOMPARE(xpath(xml, "count(//testcase)"), QString::number(run.steps.size()));
    QCOMPARE(xpath(xml, "string(/testsuites/testsuite/@failures)"), "1");
    QCOMPARE(xpath(xml, "count(//testcase/skipped)"), QString::number(run.steps.size() - 7));
    QCOMPARE(xpath(xml, "string(/testsuites/testsuite/@skipped)"),
             QString::number(run.steps.size() - 7));
    QCOMPARE(xpath(xml, "string(//testcase[@name='6. Login']/failure/@message)"),
             "Check the password.");
    const QString failure = xpath(xml, "string(//testcase[@name='6. Login']/failure)");
    QVERIFY2(failure.startsWith("530 \\x01\\x1b[2J <no> & \""), qPrintable(failure));
    QVERIFY2(failure.contains("530 bad\\x0b\\ufffe"), qPrintable(failure));
    QCOMPARE(xpath(xml, "string(//testcase[@name='6. Login']/@classname)"), "sarvel.check");
    QVERIFY(xpath(xml, "string(//testcase[@name='7. Features']/system-out)").startsWith("warning"));
    QCOMPARE(xpath(xml, "count(//testcase[@name='7. Features']/failure)"), "0");
}

void TestCheckFormats::repeatedRuns()
{
    const QList<SiteCheckReport> runs{passed(),
                                      with(passed(), Id::ReadBack, Result::Fail, "short by 3"),
                                      with(passed(), Id::Ipv6, Result::Warning, "no IPv6")};
    const NagiosOutput nagios = readNagios(output(CheckFormat::Nagios, runs));
    QCOMPARE(nagios.status, "CRITICAL");
    QVERIFY2(nagios.text.contains("13. Read back: short by 3"), qPrintable(nagios.text));
    QCOMPARE(nagios.perf.value("runs_failed").first(), "1");
    QCOMPARE(nagios.perf.value("dns").first(), "0.250"); // the median

    const QJsonArray families = prometheusFamilies(output(CheckFormat::Prometheus, runs));
    QCOMPARE(firstValue(families, "sarvel_check_success"), 0.0);
    for (const QJsonValue &sample : prometheusSamples(families, "sarvel_check_runs"))
        QCOMPARE(sample["value"].toDouble(), 1.0); // one each way
    const QJsonArray failed = prometheusSamples(families, "sarvel_check_step_failures");
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed[0]["labels"]["step"].toString(), "13");
    QStringList quantiles;
    for (const QJsonValue &s : prometheusSamples(families, "sarvel_check_phase_duration_seconds"))
        if (s["labels"]["phase"] == "login")
            quantiles << s["labels"]["quantile"].toString();
    QCOMPARE(quantiles, (QStringList{"0.5", "0.95", "1"}));

    const QByteArray xml = output(CheckFormat::Junit, runs);
    QVERIFY(xmlWellFormed(xml));
    QCOMPARE(xpath(xml, "count(/testsuites/testsuite)"), "3");
    QCOMPARE(xpath(xml, "string(/testsuites/@failures)"), "1");

    const QJsonObject json = QJsonDocument::fromJson(output(CheckFormat::Json, runs)).object();
    QCOMPARE(json["runs"].toArray().size(), 3);
    QCOMPARE(json["summary"]["failed"].toInt(), 1);
    QVERIFY(output(CheckFormat::Text, runs).startsWith("Site checks of ftp://h:21/: 3 runs"));
}

QTEST_GUILESS_MAIN(TestCheckFormats)
#include "tst_check_formats.moc"
