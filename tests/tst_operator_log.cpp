// The protocol log in the operator's words: which of libcurl's output the
// operator reads, and the sentences that start and end an operation.
#include "text/operator_log.h"

#include <QTest>

class TestOperatorLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fromLibcurl_data();
    void fromLibcurl();
    void operationLines_data();
    void operationLines();
};

void TestOperatorLog::fromLibcurl_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("kind"); // -1: nothing shown
    QTest::addColumn<QString>("text");
    const int sent = int(ProtocolEvent::Kind::Sent);
    const int received = int(ProtocolEvent::Kind::Received);
    const int detail = int(ProtocolEvent::Kind::Detail);
    QTest::newRow("command") << int(CURLINFO_HEADER_OUT) << QByteArray("USER op\r\n") << sent
                             << "USER op";
    QTest::newRow("password") << int(CURLINFO_HEADER_OUT) << QByteArray("PASS s3cret\r\n") << sent
                              << "PASS ****";
    QTest::newRow("password, lower case")
        << int(CURLINFO_HEADER_OUT) << QByteArray("pass s3cret\r\n") << sent << "PASS ****";
    QTest::newRow("reply") << int(CURLINFO_HEADER_IN) << QByteArray("226 Done.\r\n") << received
                           << "226 Done.";
    QTest::newRow("libcurl's remark")
        << int(CURLINFO_TEXT) << QByteArray("Found bundle for host: 0x7fbb280069d0 [serially]\n")
        << detail << "Found bundle for host: 0x7fbb280069d0 [serially]";
    QTest::newRow("empty remark") << int(CURLINFO_TEXT) << QByteArray("\n") << -1 << QString();
    QTest::newRow("data") << int(CURLINFO_DATA_IN) << QByteArray("PASS x\r\n") << -1 << QString();
    QTest::newRow("TLS records") << int(CURLINFO_SSL_DATA_OUT) << QByteArray("\x16\x03\x01", 3)
                                 << -1 << QString();
}

void TestOperatorLog::fromLibcurl()
{
    QFETCH(int, type);
    QFETCH(QByteArray, data);
    QFETCH(int, kind);
    QFETCH(QString, text);
    const std::optional<OperatorLine> line = operatorLine(curl_infotype(type), data);
    QCOMPARE(line.has_value(), kind >= 0);
    if (line) {
        QCOMPARE(int(line->kind), kind);
        QCOMPARE(line->text, text);
    }
}

void TestOperatorLog::operationLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    const TransferCommand get{TransferVerb::Get, {"up/readme.txt", "C:\\readme.txt"}};
    const TransferCommand cd{TransferVerb::Cd, {"my docs"}};
    PhaseTimes download;
    download.total = 12345;
    download.bytes = 5000;
    download.firstByte = 800;
    download.transfer = 2000;
    PhaseTimes small = download;
    small.bytes = 14;
    PhaseTimes login;
    login.resolve = 150;
    login.connect = 250;
    login.greeting = 1000;
    login.tls = 4500;
    login.login = 123456;
    login.total = 130000;
    // An upload whose server took 41.2 s to confirm it: that wait is no part
    // of the rate.
    PhaseTimes upload;
    upload.firstByte = 900;
    upload.transfer = 2'000'000;
    upload.confirm = 41'234'000;
    upload.total = 43'300'000;
    upload.bytes = 52'428'800;
    QTest::newRow("start") << startLine(get) << "GET up/readme.txt to C:\\readme.txt";
    QTest::newRow("start, quoted name") << startLine(cd) << "CD \"my docs\"";
    QTest::newRow("done with data")
        << outcomeLine(get, true, {}, download) << "GET done: 5,000 bytes in 0.01 s";
    QTest::newRow("done") << outcomeLine(cd, true, {}, login) << "CD done";
    QTest::newRow("failed") << outcomeLine(cd, false, "550 No such file or directory.", login)
                            << "CD failed: 550 No such file or directory.";
    QTest::newRow("failed, the command named")
        << outcomeLine(cd, false, "CD my docs: no such folder on the server (550 No such file.)",
                       login)
        << "CD my docs: no such folder on the server (550 No such file.)";
    QTest::newRow("timing of a transfer on a pooled login")
        << timingLine(download)
        << "Timing: first byte 0.8 ms, transfer 2.0 ms, total 12.3 ms; 5,000 bytes at 2.4 MiB/s";
    QTest::newRow("timing of a small transfer")
        << timingLine(small)
        << "Timing: first byte 0.8 ms, transfer 2.0 ms, total 12.3 ms; 14 bytes at 6.8 KiB/s";
    QTest::newRow("timing of a login")
        << timingLine(login)
        << "Timing: resolve 0.1 ms, connect 0.3 ms, greeting 1.0 ms, TLS 4.5 ms, login 123 ms, "
           "total 130 ms";
    QTest::newRow("timing of an upload and its confirmation")
        << timingLine(upload)
        << "Timing: first byte 0.9 ms, transfer 2.0 s, confirm 41.2 s, total 43.3 s; "
           "52,428,800 bytes at 25.0 MiB/s";
    QTest::newRow("implicit TLS")
        << tlsLine("TLS 1.2", "ECDHE-RSA-AES256-GCM-SHA384", true)
        << "TLS 1.2 established, implicit TLS (ECDHE-RSA-AES256-GCM-SHA384)";
    QTest::newRow("implicit TLS, the indicator")
        << implicitTlsProtection("TLS 1.3") << "TLS 1.3, implicit TLS";
    QTest::newRow("IPv6 address") << addressText("::1", 21) << "[::1]:21";
    QTest::newRow("resumed data connection")
        << dataConnectionLine("127.0.0.1:5000", DataProtection::Resumed)
        << "Data connection to 127.0.0.1:5000, TLS session resumed";
    QTest::newRow("server version with control characters")
        << sshServerLine(printableSshVersion("SSH-2.0-Evil\x1b[2J\tx"))
        << "Server: SSH-2.0-Evil?[2J?x";
}

void TestOperatorLog::operationLines()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(line, expected);
}

QTEST_APPLESS_MAIN(TestOperatorLog)
#include "tst_operator_log.moc"
