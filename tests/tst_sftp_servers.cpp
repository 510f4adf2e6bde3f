// The SFTP servers the tests and the demo use, driven by curl's tool, whose
// SFTP is libcurl's (libssh2): OpenSSH's sshd with key logins, and the
// bundled asyncssh server with password logins, confined to its folder.
#include "ssh_server_process.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

struct CurlRun
{
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

// curl's tool with an empty home: it reads no ~/.curlrc, and no
// ~/.ssh/known_hosts, which would make libcurl check keys against that file.
CurlRun curl(const QStringList &arguments)
{
    static const QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("CURL_HOME"));
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("curl"),
               QStringList{"--disable", "--silent", "--show-error"} + arguments);
    tool.waitForFinished(60000);
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            tool.readAllStandardOutput(), tool.readAllStandardError()};
}

} // namespace

class TestSftpServers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void sshdKeyLogin();
    void sshdPinMismatchSendsNoLogin();
    void demoServerCommands();
    void demoServerConfines_data();
    void demoServerConfines();
    void demoServerRefusesWrongPassword();

private:
    QTemporaryDir m_root;
    SftpServerProcess m_demo;
    QString m_demoUrl;
    QStringList m_demoLogin;
};

void TestSftpServers::initTestCase()
{
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("readme.txt")), "demo readme\n"));
    QElapsedTimer started;
    started.start();
    QVERIFY(m_demo.start(m_root.path(), QStringLiteral("demouser"), QStringLiteral("demo1234")));
    qInfo("asyncssh SFTP server up in %lld ms", started.elapsed());
    m_demoUrl = QStringLiteral("sftp://127.0.0.1:%1").arg(m_demo.port());
    m_demoLogin = {"--user", "demouser:demo1234", "--hostpubsha256",
                   hostPubSha256(m_demo.hostKey().fingerprint)};
}

void TestSftpServers::sshdKeyLogin()
{
    SshdProcess sshd;
    QElapsedTimer started;
    started.start();
    QVERIFY2(sshd.start(), qPrintable(sshd.errorString()));
    qInfo("sshd up in %lld ms", started.elapsed());
    QTemporaryDir folder;
    QVERIFY(writeFile(folder.filePath(QStringLiteral("listed.txt")), "x"));

    // libssh2 prefers ECDSA host keys, so that is the key to pin.
    const CurlRun listing =
        curl({"--list-only", "--user", SshdProcess::userName() + QLatin1Char(':'), "--key",
              sshd.clientKey().path, "--pubkey", sshd.clientKey().path + QStringLiteral(".pub"),
              "--hostpubsha256", hostPubSha256(sshd.hostEcdsaKey().fingerprint),
              QStringLiteral("sftp://127.0.0.1:%1%2/").arg(sshd.port()).arg(folder.path())});
    QVERIFY2(listing.exitCode == 0, listing.errors.constData());
    QVERIFY2(listing.output.split('\n').contains("listed.txt"), listing.output.constData());
    QVERIFY2(sshd.log().contains(
                 QStringLiteral("Accepted publickey for %1").arg(SshdProcess::userName())),
             qPrintable(sshd.log()));
}

void TestSftpServers::sshdPinMismatchSendsNoLogin()
{
    SshdProcess sshd;
    QVERIFY2(sshd.start(), qPrintable(sshd.errorString()));
    // A pin no host key matches: the client's own key.
    const CurlRun probe =
        curl({"--user", SshdProcess::userName() + QLatin1Char(':'), "--key", sshd.clientKey().path,
              "--hostpubsha256", hostPubSha256(sshd.clientKey().fingerprint),
              QStringLiteral("sftp://127.0.0.1:%1/").arg(sshd.port())});
    QCOMPARE(probe.exitCode, 60); // CURLE_PEER_FAILED_VERIFICATION
    // The connection was seen, but no user was named to the server: sshd
    // names the user in every line about a login, accepted or not.
    QTRY_VERIFY(sshd.log().contains(QStringLiteral("Connection from 127.0.0.1")));
    const QString log = sshd.log();
    QVERIFY2(!log.contains(QLatin1String("user")) && !log.contains(SshdProcess::userName()),
             qPrintable(log));
}

void TestSftpServers::demoServerCommands()
{
    QTemporaryDir local;
    const QString upload = local.filePath(QStringLiteral("up.bin"));
    QByteArray data(70000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    QVERIFY(writeFile(upload, data));

    const auto run = [&](const QStringList &arguments) {
        const CurlRun result = curl(m_demoLogin + arguments);
        QVERIFY2(result.exitCode == 0, result.errors.constData());
    };
    run({"--upload-file", upload, "--ftp-create-dirs", m_demoUrl + "/new/up.bin"});
    QCOMPARE(readFile(m_root.filePath(QStringLiteral("new/up.bin"))), data);
    run({"--quote", "rename /new/up.bin /new/moved.bin", "--output",
         local.filePath(QStringLiteral("back.bin")), m_demoUrl + "/new/moved.bin"});
    QCOMPARE(readFile(local.filePath(QStringLiteral("back.bin"))), data);
    run({"--quote", "mkdir /made", "--quote", "rm /new/moved.bin", "--quote", "rmdir /new",
         "--output", local.filePath(QStringLiteral("listing")), "--list-only", m_demoUrl + "/"});
    QList<QByteArray> names = readFile(local.filePath(QStringLiteral("listing"))).split('\n');
    std::sort(names.begin(), names.end());
    QCOMPARE(names, (QList<QByteArray>{"", ".", "..", "made", "readme.txt"}));
    QVERIFY(QDir(m_root.path()).rmdir(QStringLiteral("made")));
}

void TestSftpServers::demoServerConfines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("dot-dot path") << QStringList{"--path-as-is", "/../../etc/passwd"} << 78;
    QTest::newRow("absolute path") << QStringList{"/etc/passwd"} << 78;
    QTest::newRow("rename out") << QStringList{"--quote", "rename /readme.txt /../../tmp/out", "/"}
                                << 21;
    QTest::newRow("link out") << QStringList{"--quote", "symlink /etc /etc-link", "/"} << 21;
}

void TestSftpServers::demoServerConfines()
{
    // Every path names something inside the folder: what lies outside is
    // not found, and no link can lead there.
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    const QString path = arguments.takeLast();
    const CurlRun run = curl(m_demoLogin + arguments + QStringList{m_demoUrl + path});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(!run.output.contains("root:"));
    QCOMPARE(QDir(m_root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList{"readme.txt"});
}

void TestSftpServers::demoServerRefusesWrongPassword()
{
    QStringList login = m_demoLogin;
    login[1] = QStringLiteral("demouser:demo12345");
    QCOMPARE(curl(login + QStringList{m_demoUrl + "/"}).exitCode, 67); // CURLE_LOGIN_DENIED
}

QTEST_GUILESS_MAIN(TestSftpServers)
#include "tst_sftp_servers.moc"
