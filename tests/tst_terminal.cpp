// The built program in a terminal: its usage and version without a display,
// what it writes to standard error when a server's text holds control
// characters, and what `--check` says of a certificate or host key that
// nothing vouches for, against servers on loopback.
#include "ftp_server_process.h"
#include "ssh_server_process.h"
#include "terminal_run.h"
#include "transfer_run.h"
#include "vsftpd_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A server that greets with control characters and answers every command
// with more of them.
class EscapingServer final : public QTcpServer
{
public:
    static constexpr char Greeting[] = "220 \x1b]0;owned\x07\x1b[2J Ready\r\n";
    EscapingServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    while (socket->canReadLine()) {
                        socket->readLine();
                        socket->write("530 \x1b[2J not here\r\n");
                    }
                });
                socket->write(Greeting);
            }
        });
    }
};

} // namespace

class TestTerminal : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void usageAndVersionWithoutDisplay();
    void controlCharactersEscaped();
    void untrustedCertificate();
    void implicitTlsCheck();
    void unknownHostKey();
};

void TestTerminal::usageAndVersionWithoutDisplay()
{
    for (const char *option : {"--help", "-h"}) {
        const Run help = sarvel({option});
        QCOMPARE(help.status, 0);
        QVERIFY2(help.out.startsWith("Usage: sarvel"), help.out.constData());
        for (const char *form : {"sarvel [Qt options]", "sarvel --check ftp[s]://",
                                 "sarvel --check sftp://", "--json", "--trust", "SARVEL_PASSWORD"})
            QVERIFY2(help.out.contains(form), form);
        QVERIFY(help.err.isEmpty());
    }
    const Run version = sarvel({"--version"});
    QCOMPARE(version.status, 0);
    QCOMPARE(version.out, QByteArray("sarvel " SARVEL_VERSION "\n"));
    QVERIFY(version.err.isEmpty());

    // The window needs a display: without one it does not come up.
    QVERIFY(sarvel({}).status != 0);
}

void TestTerminal::controlCharactersEscaped()
{
    EscapingServer server;
    QVERIFY(server.isListening());
    const Run run = sarvel(
        {"--check", QStringLiteral("ftp://%1@127.0.0.1:%2").arg(TestUser).arg(server.serverPort())},
        {{"QT_LOGGING_RULES", "sarvel.transfer.debug=true"}, {"SARVEL_PASSWORD", TestPassword}});
    QCOMPARE(run.status, 2);
    // The greeting reached standard error, its escapes visible and inert.
    QVERIFY2(run.err.contains("220 \\x1b]0;owned\\x07\\x1b[2J Ready"), run.err.constData());
    for (const char control : {'\x1b', '\x07', '\r'}) {
        QVERIFY2(!run.err.contains(control), run.err.constData());
        QVERIFY2(!run.out.contains(control), run.out.constData());
    }
    QVERIFY(!run.err.contains(TestPassword.toUtf8()));
}

void TestTerminal::untrustedCertificate()
{
    QTemporaryDir root;
    VsftpdProcess vsftpd;
    QVERIFY2(vsftpd.start(root.path(), VsftpdProcess::Security::Tls),
             qPrintable(vsftpd.errorString()));
    const QStringList check = {"--check",
                               QStringLiteral("ftp://anonymous@127.0.0.1:%1").arg(vsftpd.port())};
    const QMap<QString, QString> password{{"SARVEL_PASSWORD", VsftpdProcess::password()}};

    const Run unknown = sarvel(check, password);
    QCOMPARE(unknown.status, 2);
    // The report carries it as a failed step.
    QVERIFY2(lineWith(unknown.out, "5. Certificate").contains("  fail  "), unknown.out.constData());
    const QString server = QStringLiteral("127.0.0.1 port %1").arg(vsftpd.port());
    QVERIFY2(unknown.err.startsWith("sarvel: the certificate of " + server.toUtf8()),
             unknown.err.constData());
    QCOMPARE(lineWith(unknown.err, "--trust"), "--trust " + vsftpd.fingerprint());
    QVERIFY(!lineWith(unknown.err, "subject:").section(':', 1).trimmed().isEmpty());
    // The command it names shows the same fingerprint.
    const QString verify = lineWith(unknown.err, "openssl s_client");
    QVERIFY2(verify.contains(QStringLiteral("-connect 127.0.0.1:%1").arg(vsftpd.port())),
             unknown.err.constData());
    QVERIFY2(shell(verify).toUpper().contains(vsftpd.fingerprint().toUtf8()), qPrintable(verify));
    QVERIFY(!vsftpd.log().contains(QLatin1String("USER")));

    const Run other =
        sarvel(check + QStringList{"--trust", QString(vsftpd.fingerprint()).replace(0, 2, "00")},
               password);
    QCOMPARE(other.status, 2);
    QVERIFY2(other.err.startsWith("sarvel: the certificate's fingerprint is " +
                                  vsftpd.fingerprint().toUtf8() +
                                  ", not the one given with --trust\n"),
             other.err.constData());

    // Trusted: the row says by what, and every warning's hint is under it.
    const QStringList trusted = check + QStringList{"--trust", vsftpd.fingerprint().toLower()};
    const Run table = sarvel(trusted, password);
    const Run json = sarvel(trusted + QStringList{"--json"}, password);
    QCOMPARE(table.status, 1);
    QCOMPARE(json.status, 1);
    QVERIFY2(lineWith(table.out, "5. Certificate").contains("trusted by --trust"),
             table.out.constData());
    const QStringList lines = QString::fromUtf8(table.out).split('\n');
    int hints = 0;
    for (const QJsonValue &value : QJsonDocument::fromJson(json.out).object()["steps"].toArray()) {
        const QJsonObject step = value.toObject();
        if (step["result"] != "warning" && step["result"] != "fail")
            continue;
        const QString title =
            QStringLiteral("%1. %2").arg(step["step"].toInt()).arg(step["name"].toString());
        const auto row =
            lines.indexOf(QRegularExpression("^" + QRegularExpression::escape(title) + " .*"));
        QVERIFY2(row >= 0 && row + 1 < lines.size(), qPrintable(title));
        QCOMPARE(lines[row + 1].trimmed(), "Hint: " + step["hint"].toString());
        ++hints;
    }
    QVERIFY(hints > 0);
    QCOMPARE(QString::fromUtf8(table.out).count("Hint: "), hints);
}

// An ftps:// address is checked over implicit TLS, which its TLS step names.
void TestTerminal::implicitTlsCheck()
{
    QTemporaryDir root;
    VsftpdProcess vsftpd;
    QVERIFY2(vsftpd.start(root.path(), VsftpdProcess::Security::ImplicitTls),
             qPrintable(vsftpd.errorString()));
    const QString url = QStringLiteral("FTPS://anonymous@127.0.0.1:%1").arg(vsftpd.port());
    const Run json = sarvel({"--check", url, "--trust", vsftpd.fingerprint(), "--json"},
                            {{"SARVEL_PASSWORD", VsftpdProcess::password()}});
    // A warning: the certificate is trusted by --trust, not by the system.
    QCOMPARE(json.status, 1);
    const QJsonObject report = QJsonDocument::fromJson(json.out).object();
    QCOMPARE(report["target"].toString(),
             QStringLiteral("ftps://127.0.0.1:%1/").arg(vsftpd.port()));
    QStringList results;
    for (const QJsonValue &value : report["steps"].toArray()) {
        const QJsonObject step = value.toObject();
        if (step["step"].toInt() == siteCheckStepNumber(SiteCheckStepId::Encryption))
            QVERIFY2(step["result"] == "pass" && step["detail"].toString().endsWith("implicit TLS"),
                     json.out.constData());
        results << step["result"].toString();
    }
    QVERIFY2(!results.contains("fail"), json.out.constData());
    QVERIFY(vsftpd.log().contains(QLatin1String("\"PROT P\"")));
    QVERIFY(!vsftpd.log().contains(QLatin1String("\"AUTH ")));
}

void TestTerminal::unknownHostKey()
{
    SftpTerminalSite site;
    QVERIFY2(site.start(), "the demo SFTP server did not start (python3-asyncssh)");
    SftpServerProcess &server = site.server;
    const QStringList check = site.check();
    const QMap<QString, QString> environment = site.environment();
    const QString fingerprint = server.hostKey().fingerprint;

    const Run unknown = sarvel(check, environment);
    QCOMPARE(unknown.status, 2);
    QVERIFY2(unknown.err.startsWith(QStringLiteral("sarvel: the host key of 127.0.0.1 port %1")
                                        .arg(server.port())
                                        .toUtf8()),
             unknown.err.constData());
    QCOMPARE(lineWith(unknown.err, "--trust"), "--trust " + fingerprint);
    QCOMPARE(lineWith(unknown.err, "key type:"), "key type:    " + server.hostKey().type);
    const QString verify = lineWith(unknown.err, "ssh-keyscan");
    QCOMPARE(verify,
             QStringLiteral("ssh-keyscan -p %1 127.0.0.1 | ssh-keygen -lf -").arg(server.port()));
    QVERIFY2(shell(verify + " 2>/dev/null").contains(fingerprint.toUtf8()), qPrintable(verify));

    const Run other =
        sarvel(check + QStringList{"--trust", "SHA256:" + QString(43, 'A')}, environment);
    QCOMPARE(other.status, 2);
    QVERIFY2(other.err.startsWith("sarvel: the host key's fingerprint is " + fingerprint.toUtf8() +
                                  ", not the one given with --trust\n"),
             other.err.constData());
    QTest::qWait(200);
    QCOMPARE(server.output().count("login attempt"), 0);

    const Run trusted = sarvel(check + QStringList{"--trust", fingerprint.mid(7)}, environment);
    QCOMPARE(trusted.status, 1);
    QVERIFY2(lineWith(trusted.out, "5. Host key").contains("trusted by --trust"),
             trusted.out.constData());
    QVERIFY(!trusted.out.contains(TestPassword.toUtf8()));
}

QTEST_GUILESS_MAIN(TestTerminal)
#include "tst_terminal.moc"
