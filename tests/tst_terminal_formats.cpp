// The built program's check in the monitors' formats against real servers
// on loopback, what it prints read by the monitors' own readers: pyftpdlib,
// vsftpd with forced TLS and a certificate near its end, and the SFTP test
// server with repeated runs.
#include "ftp_server_process.h"
#include "monitor_readers.h"
#include "ssh_server_process.h"
#include "terminal_run.h"
#include "transfer_run.h"
#include "vsftpd_process.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char *const StatusWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

} // namespace

class TestTerminalFormats : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void formatsAgainstPyftpdlib();
    void certificateNearItsEnd_data();
    void certificateNearItsEnd();
    void untrustedInEveryFormat();
    void repeatedOnSftp();
};

void TestTerminalFormats::formatsAgainstPyftpdlib()
{
    QTemporaryDir root;
    FtpServerProcess server;
    QVERIFY2(server.start(root.path(), TestUser, TestPassword), "pyftpdlib did not start");
    const QStringList check{"--check",
                            QStringLiteral("ftp://%1@%2").arg(TestUser, server.address())};
    const QMap<QString, QString> password{{"SARVEL_PASSWORD", TestPassword}};

    const Run nagios = sarvel(check + QStringList{"--format", "nagios"}, password);
    const NagiosOutput read = readNagios(nagios.out);
    QVERIFY2(!read.status.isEmpty(), nagios.out.constData());
    QVERIFY(nagios.status >= 0 && nagios.status <= 2);
    QCOMPARE(read.status, StatusWords[nagios.status]);
    QVERIFY2(read.text.startsWith(QStringLiteral("ftp://%1/: ").arg(server.address())),
             qPrintable(read.text));
    for (const char *label : {"total", "dns", "connect", "login", "listing", "write", "read"})
        QVERIFY2(read.perf.value(label).value(1) == "s", label);
    QVERIFY(!read.perf.contains("cert_days")); // no TLS

    const Run prometheus = sarvel(check + QStringList{"--format", "prometheus"}, password);
    QCOMPARE(prometheus.status, nagios.status);
    QByteArray error;
    const QJsonArray families = prometheusFamilies(prometheus.out, &error);
    QVERIFY2(!families.isEmpty(), error.constData());
    QCOMPARE(firstValue(families, "sarvel_check_success"), prometheus.status == 2 ? 0.0 : 1.0);
    for (const Run &run : {nagios, prometheus})
        QVERIFY(!run.out.contains(TestPassword.toUtf8()) &&
                !run.err.contains(TestPassword.toUtf8()));
    QVERIFY(firstValue(families, "sarvel_check_read_back_bytes_per_second") > 0);

    // To a file, replaced whole; nothing on standard output.
    QTemporaryDir out;
    const QString file = out.filePath("sarvel.prom");
    QFile old(file);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\n") == 4);
    old.close();
    const Run junit = sarvel(check + QStringList{"--format", "junit", "--output", file}, password);
    QCOMPARE(junit.status, nagios.status);
    QVERIFY(junit.out.isEmpty());
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{"sarvel.prom"});
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray xml = saved.readAll();
    QVERIFY2(xmlWellFormed(xml, &error), error.constData());
    QCOMPARE(xpath(xml, "count(//testcase)"), "16");
    QVERIFY(!xml.contains(TestPassword.toUtf8()));
    QVERIFY(QDir(root.path()).isEmpty()); // the test file is cleaned up

    // A folder where it cannot write: a failure of the others' formats too.
    const Run cannot =
        sarvel(check + QStringList{"--output", out.filePath("no/such/file")}, password);
    QCOMPARE(cannot.status, 3);
    QVERIFY2(cannot.err.startsWith("sarvel: cannot write "), cannot.err.constData());
}

void TestTerminalFormats::certificateNearItsEnd_data()
{
    QTest::addColumn<QStringList>("limits");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("thresholds"); // cert_days' warn and crit
    QTest::newRow("defaults") << QStringList{} << 2 << "30;7";
    QTest::newRow("crit 7") << QStringList{"--cert-crit", "7"} << 2 << "30;7";
    QTest::newRow("warn 5, crit 1")
        << QStringList{"--cert-warn", "5", "--cert-crit", "1"} << 1 << "5;1";
    QTest::newRow("warn 1, crit 0") << QStringList{"--cert-warn", "1", "--cert-crit", "0"} << 1
                                    << "1;0"; // self-signed, trusted by --trust: a warning
}

void TestTerminalFormats::certificateNearItsEnd()
{
    QFETCH(QStringList, limits);
    QFETCH(int, status);
    QFETCH(QString, thresholds);
    QTemporaryDir root;
    VsftpdProcess vsftpd;
    vsftpd.setCertificateDays(3);
    QVERIFY2(vsftpd.start(root.path(), VsftpdProcess::Security::Tls),
             qPrintable(vsftpd.errorString()));
    const Run run = sarvel(
        QStringList{"--check", QStringLiteral("ftp://anonymous@127.0.0.1:%1/").arg(vsftpd.port()),
                    "--trust", vsftpd.fingerprint(), "--format", "nagios"} +
            limits,
        {{"SARVEL_PASSWORD", VsftpdProcess::password()}});
    QCOMPARE(run.status, status);
    const NagiosOutput read = readNagios(run.out);
    QCOMPARE(read.status, StatusWords[status]);
    // Made for 3 days, less a moment: 2 whole days left.
    QCOMPARE(read.perf.value("cert_days").mid(0, 4),
             (QStringList{"2", ""} + thresholds.split(';')));
    if (status == 2) {
        QVERIFY2(read.text.contains("5. Certificate: expires in 2 days"), qPrintable(read.text));
        QVERIFY(read.longOutput.contains("6. Login: skipped: step 5 failed"));
    }
}

void TestTerminalFormats::untrustedInEveryFormat()
{
    QTemporaryDir root;
    VsftpdProcess vsftpd;
    QVERIFY2(vsftpd.start(root.path(), VsftpdProcess::Security::Tls),
             qPrintable(vsftpd.errorString()));
    const QStringList check{"--check",
                            QStringLiteral("ftp://anonymous@127.0.0.1:%1").arg(vsftpd.port())};
    const QMap<QString, QString> password{{"SARVEL_PASSWORD", VsftpdProcess::password()}};
    const QString needs = "--trust " + vsftpd.fingerprint();

    const Run nagios = sarvel(check + QStringList{"--format", "nagios"}, password);
    QCOMPARE(nagios.status, 2);
    QVERIFY(nagios.err.contains(needs.toUtf8()));
    const NagiosOutput read = readNagios(nagios.out);
    QCOMPARE(read.status, "CRITICAL");
    QVERIFY2(read.text.contains("5. Certificate: the certificate of 127.0.0.1"),
             qPrintable(read.text));

    const Run junit = sarvel(check + QStringList{"--format", "junit"}, password);
    QCOMPARE(junit.status, 2);
    QVERIFY(xmlWellFormed(junit.out));
    QVERIFY(xpath(junit.out, "string(//testcase[@name='5. Certificate']/failure/@message)")
                .contains(needs));
    QCOMPARE(xpath(junit.out, "count(//testcase/skipped)"), "11");

    const Run prometheus = sarvel(check + QStringList{"--format", "prometheus"}, password);
    QCOMPARE(prometheus.status, 2);
    const QJsonArray families = prometheusFamilies(prometheus.out);
    QCOMPARE(firstValue(families, "sarvel_check_success"), 0.0);
    QVERIFY(!vsftpd.log().contains(QLatin1String("USER")));
}

void TestTerminalFormats::repeatedOnSftp()
{
    SftpTerminalSite site;
    QVERIFY2(site.start(), "the demo SFTP server did not start (python3-asyncssh)");
    const QStringList check =
        site.check() + QStringList{"--trust",    site.server.hostKey().fingerprint,
                                   "--repeat",   "3",
                                   "--interval", "1"};
    const QMap<QString, QString> environment = site.environment();
    QElapsedTimer clock;
    clock.start();
    const Run junit = sarvel(check + QStringList{"--format", "junit"}, environment);
    QVERIFY(clock.elapsed() >= 2000); // two intervals
    QCOMPARE(junit.status, 1);        // trusted by --trust alone: a warning each run
    QVERIFY(xmlWellFormed(junit.out));
    QCOMPARE(xpath(junit.out, "count(/testsuites/testsuite)"), "3");
    QTest::qWait(200);
    QCOMPARE(site.server.output().count("login attempt"), 3); // a fresh login each run

    const Run prometheus = sarvel(check + QStringList{"--format", "prometheus"}, environment);
    const QJsonArray families = prometheusFamilies(prometheus.out);
    double runs = 0;
    for (const QJsonValue &sample : prometheusSamples(families, "sarvel_check_runs"))
        runs += sample["value"].toDouble();
    QCOMPARE(runs, 3.0);
    QVERIFY(QDir(site.root.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestTerminalFormats)
#include "tst_terminal_formats.moc"
