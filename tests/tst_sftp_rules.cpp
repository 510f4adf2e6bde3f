// The pure rules of SFTP sites, by tables: paths and their quoting, listings,
// statuses read from libcurl's words, the logins tried, and the site check's
// judgement of a key exchange.
#include "sftp/sftp_listing.h"
#include "sftp/ssh_handshake.h"
#include "sftp/sftp_paths.h"
#include "sftp/sftp_request.h"
#include "site_check/rules/sftp_site_check_rules.h"
#include "sftp/sftp_status.h"
#include "test_files.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <libssh2.h>

#include <dlfcn.h>

class TestSftpRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void handshakeIsOurs();
    void pathsAreEncodedAndQuoted_data();
    void pathsAreEncodedAndQuoted();
    void listingDropsDotEntries_data();
    void listingDropsDotEntries();
    void statusFromLibcurl_data();
    void statusFromLibcurl();
    void weakKeyExchangeWarns_data();
    void weakKeyExchangeWarns();
    void keyLoginOffers_data();
    void keyLoginOffers();
    void passwordGoesOneWay_data();
    void passwordGoesOneWay();
};

void TestSftpRules::pathsAreEncodedAndQuoted_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("quoted");
    QTest::newRow("plain") << "a.txt" << QByteArray("s://h/up/a.txt")
                           << QByteArray("\"/up/a.txt\"");
    QTest::newRow("question mark and hash")
        << "a?b#c%d" << QByteArray("s://h/up/a%3Fb%23c%25d") << QByteArray("\"/up/a?b#c%d\"");
    QTest::newRow("quote and backslash")
        << "x\"y\\z" << QByteArray("s://h/up/x%22y%5Cz") << QByteArray("\"/up/x\\\"y\\\\z\"");
    QTest::newRow("space and umlaut")
        << "ä b" << QByteArray("s://h/up/%C3%A4%20b") << QByteArray("\"/up/\xC3\xA4 b\"");
    QTest::newRow("absolute") << "/etc/x" << QByteArray("s://h/etc/x") << QByteArray("\"/etc/x\"");
}

void TestSftpRules::pathsAreEncodedAndQuoted()
{
    QFETCH(QString, name);
    const QString path = sftpPath(RemoteFolder{{QStringLiteral("up")}, true}, name);
    QTEST(sftpUrl("s://h", path), "url");
    QTEST(sftpQuoted(path), "quoted");
}

void TestSftpRules::listingDropsDotEntries_data()
{
    QTest::addColumn<bool>("longForm");
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QByteArray>("kept");
    QTest::newRow("names") << false << QByteArray(".\n..\na.txt\n.hidden\n")
                           << QByteArray("a.txt\n.hidden\n");
    QTest::newRow("long") << true
                          << QByteArray("drwx 2 0 0 4096 Dec  9 05:18 .\n"
                                        "drwx 2 0 0 4096 Dec  9 05:18 ..\n"
                                        "-rw- 1 0 0 5 Dec  9 05:18 a .\n"
                                        "drwx 2 0 0 4096 Dec  9 05:18 ...\n")
                          << QByteArray("-rw- 1 0 0 5 Dec  9 05:18 a .\n"
                                        "drwx 2 0 0 4096 Dec  9 05:18 ...\n");
    QTest::newRow("no last line end") << false << QByteArray("a\n..") << QByteArray("a\n");
}

// However libcurl cuts the listing, the same lines are kept.
void TestSftpRules::listingDropsDotEntries()
{
    QFETCH(bool, longForm);
    QFETCH(QByteArray, listing);
    for (qsizetype piece = 1; piece <= listing.size(); ++piece) {
        SftpListingFilter filter(longForm);
        QByteArray kept;
        for (qsizetype at = 0; at < listing.size(); at += piece)
            kept +=
                filter.add(QByteArrayView(listing).sliced(at, qMin(piece, listing.size() - at)));
        kept += filter.finish();
        QTEST(kept, "kept");
    }
}

void TestSftpRules::statusFromLibcurl_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<int>("status"); // -1: none
    QTest::newRow("open") << int(CURLE_REMOTE_FILE_NOT_FOUND)
                          << "Could not open remote file for reading: No such file or directory"
                          << 2;
    QTest::newRow("quote") << int(CURLE_QUOTE_ERROR) << "rm command failed: Permission denied" << 3;
    QTest::newRow("quote failure")
        << int(CURLE_QUOTE_ERROR) << "rename command failed: Operation failed" << 4;
    QTest::newRow("upload") << int(CURLE_UPLOAD_FAILED) << "Upload failed: Disk full (14/-31)"
                            << 14;
    QTest::newRow("no text") << int(CURLE_REMOTE_ACCESS_DENIED) << "" << 3;
    QTest::newRow("connection") << int(CURLE_SSH) << "" << -1;
    QTest::newRow("unknown phrase") << int(CURLE_QUOTE_ERROR) << "rm command failed: odd" << -1;
}

void TestSftpRules::statusFromLibcurl()
{
    QFETCH(int, result);
    QFETCH(QString, detail);
    QTEST(sftpStatus(CURLcode(result), detail).value_or(-1), "status");
}

void TestSftpRules::weakKeyExchangeWarns_data()
{
    QTest::addColumn<QString>("keyExchange");
    QTest::addColumn<QString>("cipher");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("weak"); // empty: passes
    QTest::newRow("current") << "curve25519-sha256" << "aes128-ctr" << "hmac-sha2-256" << "";
    QTest::newRow("group14 with SHA-256")
        << "diffie-hellman-group14-sha256" << "aes256-ctr" << "hmac-sha2-512" << "";
    QTest::newRow("1024-bit group") << "diffie-hellman-group1-sha1" << "aes128-ctr"
                                    << "hmac-sha2-256" << "diffie-hellman-group1-sha1";
    QTest::newRow("64-bit block") << "curve25519-sha256" << "3des-cbc" << "hmac-sha2-256"
                                  << "3des-cbc";
    QTest::newRow("RC4") << "curve25519-sha256" << "arcfour128" << "hmac-sha1" << "arcfour128";
    QTest::newRow("MD5") << "curve25519-sha256" << "aes128-ctr" << "hmac-md5" << "hmac-md5";
}

void TestSftpRules::weakKeyExchangeWarns()
{
    QFETCH(QString, keyExchange);
    QFETCH(QString, cipher);
    QFETCH(QString, mac);
    QFETCH(QString, weak);
    SshSessionFacts session;
    session.keyExchange = keyExchange;
    session.cipher = cipher;
    session.mac = mac;
    const SiteCheckOutcome outcome = keyExchangeOutcome(session);
    QCOMPARE(outcome.result, weak.isEmpty() ? SiteCheckResult::Pass : SiteCheckResult::Warning);
    QVERIFY(outcome.detail.contains(cipher));
    if (!weak.isEmpty())
        QVERIFY2(outcome.hint.startsWith(weak + " is "), qPrintable(outcome.hint));
    QCOMPARE(keyExchangeOutcome(std::nullopt).result, SiteCheckResult::Skipped);
}

void TestSftpRules::keyLoginOffers_data()
{
    QTest::addColumn<QStringList>("keys"); // in ~/.ssh
    QTest::addColumn<bool>("agent");
    QTest::addColumn<QString>("tried"); // in turn
    QTest::newRow("nothing") << QStringList{"id_rsa"} << false << "agent";
    QTest::newRow("agent first") << QStringList{"id_ecdsa", "id_ed25519"} << true
                                 << "agent id_ed25519 id_ecdsa";
    QTest::newRow("no agent") << QStringList{"id_ecdsa", "id_rsa"} << false << "id_ecdsa";
}

void TestSftpRules::keyLoginOffers()
{
    QFETCH(QStringList, keys);
    QFETCH(bool, agent);
    QTemporaryDir home;
    QDir().mkpath(home.filePath(".ssh"));
    for (const QString &key : keys)
        QVERIFY(writeFile(home.filePath(".ssh/" + key), "key"));
    QStringList tried;
    for (const SshLogin &login : sshLoginsFor(QString(), home.path(), agent)) {
        const long expected = login.keyFile.isEmpty() ? CURLSSH_AUTH_AGENT : CURLSSH_AUTH_PUBLICKEY;
        QCOMPARE(login.authTypes, expected);
        tried << (login.keyFile.isEmpty() ? "agent" : QFileInfo(login.keyFile).fileName());
    }
    QTEST(tried.join(' '), "tried");
}

void TestSftpRules::passwordGoesOneWay_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<long>("method");
    QTest::newRow("both") << "publickey,keyboard-interactive,password"
                          << long(CURLSSH_AUTH_PASSWORD);
    QTest::newRow("keyboard only")
        << "publickey,keyboard-interactive" << long(CURLSSH_AUTH_KEYBOARD);
    QTest::newRow("password only") << "password" << long(CURLSSH_AUTH_PASSWORD);
}

void TestSftpRules::passwordGoesOneWay()
{
    QFETCH(QString, offered);
    const std::vector<SshLogin> logins = sshLoginsFor(QStringLiteral("pw"), QString(), true);
    QCOMPARE(logins.size(), size_t(1));
    QTEST(oneAttempt(logins.front().authTypes, offered), "method");
}

// libcurl reaches libssh2's handshake through the dynamic linker: the name
// must resolve to this program's definition, which reads the session's
// facts, and that in turn must find libssh2's own.
void TestSftpRules::handshakeIsOurs()
{
    void *resolved = dlsym(RTLD_DEFAULT, "libssh2_session_handshake");
    QVERIFY(resolved);
    QCOMPARE(resolved, reinterpret_cast<void *>(&libssh2_session_handshake));
    void *library = dlsym(RTLD_NEXT, "libssh2_session_handshake");
    QVERIFY(library);
    QVERIFY(library != resolved);
    Dl_info where{};
    QVERIFY(dladdr(library, &where) && where.dli_fname);
    QVERIFY2(QByteArray(where.dli_fname).contains("libssh2"), where.dli_fname);
    QVERIFY(sshHandshakeReachable());
}

QTEST_APPLESS_MAIN(TestSftpRules)
#include "tst_sftp_rules.moc"
