// The soak's summary in every format, each read by the monitor's own
// reader: the Prometheus client library's parser, xmllint, the Nagios plugin
// grammar; and the text and JSON.
#include "monitor_readers.h"
#include "soak_support.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

using Phase = SoakPhase;

class TestSoakFormats : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void text();
    void json();
    void nagios();
    void prometheus();
    void junit();
};

void TestSoakFormats::text()
{
    const QString text = QString::fromUtf8(soakOutput(CheckFormat::Text, fourRounds(), {}));
    QVERIFY2(text.startsWith("Soak of ftp://127.0.0.1:21/in: 4 rounds, 3 passed, 1 failed\n"
                             "Seed 42 "),
             qPrintable(text));
    QVERIFY(text.contains("  1 x verify: the server kept 8192 of the 16384 bytes sent\n"));
    QVERIFY(text.contains("  Round 3 (16384 bytes): verify: the server kept 8192"));
    QVERIFY(text.contains(QRegularExpression("\nread_back +4 +0.020 +0.040 +0.040\n")));
}

void TestSoakFormats::json()
{
    const QJsonObject json =
        QJsonDocument::fromJson(soakOutput(CheckFormat::Json, fourRounds(), {"8.0", {}, {}}))
            .object();
    QCOMPARE(json["target"].toString(), "ftp://127.0.0.1:21/in");
    QCOMPARE(json["seed"].toString(), "42");
    QCOMPARE(json["summary"]["failed"].toInt(), 1);
    QCOMPARE(json["summary"]["phases"]["upload"]["p95"].toDouble(), 0.04);
    const QJsonObject third = json["rounds"][2].toObject();
    QCOMPARE(third["phase"].toString(), "verify");
    QCOMPARE(third["kept"].toInteger(), 8192);
    QCOMPARE(third["size"].toInteger(), 16384);
}

void TestSoakFormats::nagios()
{
    SoakDocument soak = fourRounds();
    NagiosOutput read = readNagios(soakOutput(CheckFormat::Nagios, soak, {}));
    QCOMPARE(read.status, "CRITICAL");
    QVERIFY2(read.text.startsWith("ftp://127.0.0.1:21/in: soak 4 rounds, 3 passed, 1 failed; "
                                  "1 x verify: the server kept 8192"),
             qPrintable(read.text));
    QCOMPARE(read.perf.value("upload"), (QStringList{"0.020", "s", "", "", "0", ""}));
    QCOMPARE(read.perf.value("rounds_failed"), (QStringList{"1", "", "", "", "0", "4"}));
    QCOMPARE(read.longOutput.size(), 1);

    soak.rounds.removeAt(2);
    read = readNagios(soakOutput(CheckFormat::Nagios, soak, {}));
    QCOMPARE(read.status, "OK");
    QCOMPARE(soakExitCode(soak.rounds), CheckOk);
    QCOMPARE(soakExitCode({}), CheckCritical);
}

void TestSoakFormats::prometheus()
{
    QByteArray error;
    const QJsonArray families =
        prometheusFamilies(soakOutput(CheckFormat::Prometheus, fourRounds(), {}), &error);
    QVERIFY2(!families.isEmpty(), error.constData());
    QCOMPARE(firstValue(families, "sarvel_soak_success"), 0.0);
    QMap<QString, double> byPhase;
    for (const QJsonValue &sample : prometheusSamples(families, "sarvel_soak_phase_failures"))
        byPhase[sample["labels"]["phase"].toString()] = sample["value"].toDouble();
    QCOMPARE(byPhase.value("verify"), 1.0);
    QCOMPARE(byPhase.value("upload"), 0.0);
    QCOMPARE(byPhase.size(), SoakPhaseCount);
    int quantiles = 0;
    for (const QJsonValue &sample :
         prometheusSamples(families, "sarvel_soak_phase_duration_seconds"))
        quantiles += sample["labels"]["phase"] == "read_back";
    QCOMPARE(quantiles, 3);
    QVERIFY(firstValue(families, "sarvel_soak_read_back_bytes_per_second") > 0);
}

void TestSoakFormats::junit()
{
    SoakDocument soak = fourRounds();
    soak.rounds[2].reason = QStringLiteral("a <reply> with \x01 & more");
    const QByteArray xml = soakOutput(CheckFormat::Junit, soak, {});
    QByteArray error;
    QVERIFY2(xmlWellFormed(xml, &error), error.constData());
    QCOMPARE(xpath(xml, "count(//testsuite/testcase)"), "4");
    QCOMPARE(xpath(xml, "string(//testsuite/@failures)"), "1");
    QCOMPARE(xpath(xml, "string(//testsuite/@timestamp)"), "2026-03-01T12:00:00");
    QCOMPARE(xpath(xml, "string(//testcase[failure]/@name)"), "Round 3 (16384 bytes)");
    QCOMPARE(xpath(xml, "string(//testcase[1]/@name)"), "Round 1 (1 byte)");
    QVERIFY(xpath(xml, "string(//failure/@message)").startsWith("verify: a <reply> with "));
}

QTEST_GUILESS_MAIN(TestSoakFormats)
#include "tst_soak_formats.moc"
