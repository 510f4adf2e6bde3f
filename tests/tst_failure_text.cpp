// The sentence the operator reads when an operation fails, one row for each
// phase it can name; tst_transfer_failures meets the same sentences through
// misbehaving servers.
#include "text/failure_text.h"

#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(FailureFacts)
Q_DECLARE_METATYPE(SshFailureFacts)

class TestFailureText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void phaseIsNamed_data();
    void phaseIsNamed();
    void sshPhaseIsNamed_data();
    void sshPhaseIsNamed();
    void refusalNamesTheCommand_data();
    void refusalNamesTheCommand();
};

namespace {

// What is known when `result` ends an operation on ftp.localhost:21 with a
// 5 s time-out, with `set` filling in the rest.
FailureFacts facts(CURLcode result, const std::function<void(FailureFacts &)> &set = {})
{
    FailureFacts f;
    f.result = result;
    f.server = QStringLiteral("ftp.localhost:21");
    f.timeoutSeconds = 5;
    if (set)
        set(f);
    return f;
}

// Connected, greeted and logged in.
void loggedIn(FailureFacts &f)
{
    f.connected = f.greeted = true;
}

} // namespace

void TestFailureText::phaseIsNamed_data()
{
    QTest::addColumn<FailureFacts>("facts");
    QTest::addColumn<QString>("text");

    QTest::newRow("name does not resolve")
        << facts(CURLE_COULDNT_RESOLVE_HOST, [](FailureFacts &f) { f.detail = "no such host"; })
        << "Cannot find the server ftp.localhost:21: its name does not resolve (no such host)";
    QTest::newRow("connection refused")
        << facts(CURLE_COULDNT_CONNECT, [](FailureFacts &f) { f.detail = "refused"; })
        << "Cannot connect to ftp.localhost:21 (refused)";
    // libcurl's words say the same again; they stay in the log.
    QTest::newRow("nothing listens on the port")
        << facts(CURLE_COULDNT_CONNECT,
                 [](FailureFacts &f) {
                     f.refused = true;
                     f.detail = "Failed to connect to ftp.localhost port 21 after 0 ms: Couldn't "
                                "connect to server";
                 })
        << "Nothing accepts connections on ftp.localhost port 21: the server is not running, or "
           "it listens on another port";
    QTest::newRow("nothing listens on an IPv6 port")
        << facts(CURLE_COULDNT_CONNECT,
                 [](FailureFacts &f) {
                     f.refused = true;
                     f.server = "::1:2121";
                 })
        << "Nothing accepts connections on ::1 port 2121: the server is not running, or it "
           "listens on another port";
    QTest::newRow("data connection refused") << facts(CURLE_COULDNT_CONNECT, [](FailureFacts &f) {
        loggedIn(f);
        f.dataAddress = "127.0.0.1:5000";
    }) << "Cannot open the data connection to 127.0.0.1:5000";
    QTest::newRow("no connection in time")
        << facts(CURLE_OPERATION_TIMEDOUT) << "No connection to ftp.localhost:21 within 5 s";
    QTest::newRow("no greeting in time")
        << facts(CURLE_OPERATION_TIMEDOUT, [](FailureFacts &f) { f.connected = true; })
        << "ftp.localhost:21 sent no greeting within 5 s";
    QTest::newRow("data stalled") << facts(CURLE_OPERATION_TIMEDOUT, [](FailureFacts &f) {
        loggedIn(f);
        f.dataAddress = "127.0.0.1:5000";
        f.dataFlowing = true;
        f.received = 1234;
    }) << "The transfer from ftp.localhost:21 stalled: no data for 5 s (1234 bytes received)";
    QTest::newRow("data connection not in time")
        << facts(CURLE_OPERATION_TIMEDOUT,
                 [](FailureFacts &f) {
                     loggedIn(f);
                     f.lastCode = 229;
                     f.dataAddress = "127.0.0.1:5000";
                     f.detail = "Failed to connect";
                 })
        << "Cannot open the data connection to 127.0.0.1:5000 within 5 s";
    QTest::newRow("no reply to a command") << facts(CURLE_OPERATION_TIMEDOUT, [](FailureFacts &f) {
        loggedIn(f);
        f.lastCommand = "PWD";
    }) << "ftp.localhost:21 did not reply to PWD within 5 s";
    QTest::newRow("passive reply unusable")
        << facts(CURLE_FTP_WEIRD_227_FORMAT, [](FailureFacts &f) { f.detail = "bad 227"; })
        << "Cannot open the data connection to ftp.localhost:21 (bad 227)";
    QTest::newRow("malformed reply") << facts(CURLE_WEIRD_SERVER_REPLY)
                                     << "The reply from ftp.localhost:21 is too long or malformed";
    QTest::newRow("reply over libcurl's limit")
        << facts(CURLE_RECV_ERROR, [](FailureFacts &f) { f.detail = "Too large response"; })
        << "The reply from ftp.localhost:21 is too long or malformed (Too large response)";
    QTest::newRow("TLS handshake")
        << facts(CURLE_SSL_CONNECT_ERROR, [](FailureFacts &f) { f.detail = "alert"; })
        << "The TLS handshake with ftp.localhost:21 failed (alert)";
    QTest::newRow("no TLS offered")
        << facts(CURLE_USE_SSL_FAILED) << "ftp.localhost:21 does not offer encryption";
    QTest::newRow("data protection refused")
        << facts(CURLE_USE_SSL_FAILED,
                 [](FailureFacts &f) {
                     loggedIn(f);
                     f.lastCommand = "PROT P";
                     f.lastReply = "534 Protection level not supported.";
                 })
        << "ftp.localhost:21 refused to encrypt the data connections (534 Protection level not "
           "supported.); nothing was sent or received in clear";
    QTest::newRow("login refused")
        << facts(CURLE_LOGIN_DENIED, [](FailureFacts &f) { f.lastReply = "530 Login incorrect."; })
        << "ftp.localhost:21 refused the login: 530 Login incorrect.";
    QTest::newRow("login needs TLS")
        << facts(CURLE_LOGIN_DENIED,
                 [](FailureFacts &f) { f.lastReply = "530 Non-anonymous sessions must use SSL."; })
        << "ftp.localhost:21 refused the login: 530 Non-anonymous sessions must use SSL. (the "
           "server requires TLS)";
    QTest::newRow("cut short, size known") << facts(CURLE_PARTIAL_FILE, [](FailureFacts &f) {
        f.received = 500;
        f.expected = 1000;
    }) << "The transfer from ftp.localhost:21 was cut short: 500 of 1000 bytes received";
    QTest::newRow("cut short, size unknown")
        << facts(CURLE_PARTIAL_FILE, [](FailureFacts &f) { f.received = 500; })
        << "The transfer from ftp.localhost:21 was cut short after 500 bytes";
    QTest::newRow("closed before greeting")
        << facts(CURLE_GOT_NOTHING, [](FailureFacts &f) { f.connected = true; })
        << "ftp.localhost:21 closed the connection without a greeting";
    QTest::newRow("reset during data") << facts(CURLE_RECV_ERROR, [](FailureFacts &f) {
        loggedIn(f);
        f.dataFlowing = true;
        f.received = 700;
        f.detail = "reset";
    }) << "The transfer from ftp.localhost:21 was cut short after 700 bytes (reset)";
    QTest::newRow("connection lost")
        << facts(CURLE_SEND_ERROR, [](FailureFacts &f) { loggedIn(f); })
        << "The connection to ftp.localhost:21 failed";
    QTest::newRow("anything else")
        << facts(CURLE_FILESIZE_EXCEEDED, [](FailureFacts &f) { f.detail = "too big"; })
        << "The operation on ftp.localhost:21 failed (too big)";
}

void TestFailureText::phaseIsNamed()
{
    QFETCH(FailureFacts, facts);
    QFETCH(QString, text);
    QCOMPARE(failureText(facts), text);
}

namespace {

SshFailureFacts sshFacts(CURLcode result, SshFailureFacts::Phase phase, const QString &detail = {})
{
    SshFailureFacts f;
    f.result = result;
    f.server = QStringLiteral("sftp.localhost:22");
    f.timeoutSeconds = 5;
    f.phase = phase;
    f.detail = detail;
    f.login = QStringLiteral("password");
    return f;
}

} // namespace

void TestFailureText::sshPhaseIsNamed_data()
{
    using P = SshFailureFacts::Phase;
    QTest::addColumn<SshFailureFacts>("facts");
    QTest::addColumn<QString>("start");
    QTest::newRow("no connection in time") << sshFacts(CURLE_OPERATION_TIMEDOUT, P::Connecting)
                                           << "No connection to sftp.localhost:22";
    SshFailureFacts closedPort =
        sshFacts(CURLE_COULDNT_CONNECT, P::Connecting, "Failed to connect");
    closedPort.refused = true;
    QTest::newRow("nothing listens on the port")
        << closedPort << "Nothing accepts connections on sftp.localhost port 22: the server is not";
    QTest::newRow("silent server") << sshFacts(CURLE_OPERATION_TIMEDOUT, P::Connected)
                                   << "sftp.localhost:22 sent no SSH greeting or key exchange";
    QTest::newRow("closed at once") << sshFacts(CURLE_SSH, P::Connected)
                                    << "sftp.localhost:22 closed the connection without an SSH";
    QTest::newRow("no banner")
        << sshFacts(CURLE_FAILED_INIT, P::Connected,
                    "Failure establishing ssh session: -13, Failed getting banner")
        << "sftp.localhost:22 sent no SSH greeting (";
    QTest::newRow("key exchange")
        << sshFacts(CURLE_FAILED_INIT, P::Connected,
                    "Failure establishing ssh session: -5, Unable to exchange encryption keys")
        << "The SSH key exchange with sftp.localhost:22 failed";
    QTest::newRow("login") << sshFacts(CURLE_LOGIN_DENIED, P::LoggingIn)
                           << "sftp.localhost:22 refused the login (password)";
    QTest::newRow("login in time") << sshFacts(CURLE_OPERATION_TIMEDOUT, P::LoggingIn)
                                   << "sftp.localhost:22 did not answer the login within 5 s";
    QTest::newRow("command in time") << sshFacts(CURLE_OPERATION_TIMEDOUT, P::LoggedIn)
                                     << "sftp.localhost:22 did not reply to the SFTP request";
    QTest::newRow("cut short") << sshFacts(CURLE_SSH, P::Transferring, "Operation failed")
                               << "The transfer from sftp.localhost:22 was cut short";
    QTest::newRow("stalled") << sshFacts(CURLE_OPERATION_TIMEDOUT, P::Transferring)
                             << "The transfer with sftp.localhost:22 stalled";
}

void TestFailureText::sshPhaseIsNamed()
{
    QFETCH(SshFailureFacts, facts);
    QFETCH(QString, start);
    const QString text = sshFailureText(facts);
    QVERIFY2(text.startsWith(start), qPrintable(text));
}

void TestFailureText::refusalNamesTheCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing file") << "GET up/nosuch.txt" << 550 << "550 Could not get file size."
                                  << "GET up/nosuch.txt: no such file on the server (550 Could "
                                     "not get file size.)";
    QTest::newRow("missing file, local name given")
        << "get \"my file.txt\" c:\\temp\\x.txt" << 550 << "550 No such file."
        << "GET my file.txt: no such file on the server (550 No such file.)";
    QTest::newRow("upload refused")
        << "PUT c:\\tolvar\\big.bin ro/big.bin" << 553 << "553 Could not create file."
        << "PUT to ro/big.bin refused (553 Could not create file.)";
    QTest::newRow("upload under the local name")
        << "PUT c:\\tolvar\\big.bin" << 550 << "550 Permission denied."
        << "PUT to big.bin refused (550 Permission denied.)";
    QTest::newRow("missing folder") << "CD nosuch" << 550 << "550 No such directory."
                                    << "CD nosuch: no such folder on the server (550 No such "
                                       "directory.)";
    QTest::newRow("listing of the current folder") << "DIR" << 550 << "550 Permission denied."
                                                   << "DIR refused (550 Permission denied.)";
    QTest::newRow("not a missing file") << "GET a.txt" << 450 << "450 File busy."
                                        << "GET a.txt refused (450 File busy.)";
    QTest::newRow("folder exists") << "MKDIR made" << 550 << "550 File exists."
                                   << "MKDIR made refused (550 File exists.)";
}

void TestFailureText::refusalNamesTheCommand()
{
    QFETCH(QString, command);
    QFETCH(int, code);
    QFETCH(QString, reply);
    QFETCH(QString, text);
    QCOMPARE(refusalText(parseTransferCommand(command), code, reply), text);
}

QTEST_APPLESS_MAIN(TestFailureText)
#include "tst_failure_text.moc"
