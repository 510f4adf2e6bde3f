// The FTP server-side hashes that HASH and the site check's Verify step
// share: the command FEAT leads to, the digest in the server's reply, the
// same digest computed here; and the check's verdict on them.
#include "site_check/rules/site_check_file_rules.h"
#include "site_check_support.h"
#include "text/protocol/ftp_hash.h"

#include <QBuffer>
#include <QTest>

class TestFtpHash : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hashCommand_data();
    void hashCommand();
    void replyDigest_data();
    void replyDigest();
};

void TestFtpHash::hashCommand_data()
{
    QTest::addColumn<QStringList>("feat");
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("algorithm");
    QTest::newRow("HASH, SHA-256 in use") << QStringList{" HASH SHA-256*;MD5", " XMD5"} << ""
                                          << "HASH"
                                          << "SHA-256";
    QTest::newRow("HASH, switched") << QStringList{" HASH SHA-1*;SHA-256"} << "OPTS HASH SHA-256"
                                    << "HASH"
                                    << "SHA-256";
    QTest::newRow("older commands") << QStringList{" XCRC", " XSHA1", " XMD5"} << ""
                                    << "XSHA1"
                                    << "SHA-1";
    QTest::newRow("CRC only") << QStringList{" XCRC"} << ""
                              << "XCRC"
                              << "CRC32";
    QTest::newRow("none") << QStringList{" SIZE", " MDTM"} << ""
                          << ""
                          << "";
}

void TestFtpHash::hashCommand()
{
    QFETCH(QStringList, feat);
    const HashCommand hash = ::hashCommand(feat);
    QTEST(hash.select, "select");
    QTEST(hash.command, "command");
    QTEST(hash.algorithm, "algorithm");
}

void TestFtpHash::replyDigest_data()
{
    // The standard check values of "123456789".
    const QString crc = "cbf43926";
    const QString sha1 = "f7c3bc1d808e04732adf679965ccc34ca7ae3441";
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("algorithm");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("digest");
    QTest::newRow("HASH") << "HASH"
                          << "SHA-1"
                          << "213 SHA-1 0-8 " + sha1.toUpper() + " f.tmp" << sha1;
    QTest::newRow("HASH, end past the last byte") << "HASH"
                                                  << "SHA-1"
                                                  << "213 SHA-1 0-9 " + sha1 << sha1;
    QTest::newRow("HASH of part") << "HASH"
                                  << "SHA-1"
                                  << "213 SHA-1 0-4 " + sha1 << "";
    QTest::newRow("HASH, other algorithm") << "HASH"
                                           << "SHA-1"
                                           << "213 MD5 0-8 " + sha1 << "";
    QTest::newRow("XSHA1, 250") << "XSHA1"
                                << "SHA-1"
                                << "250 " + sha1 << sha1;
    QTest::newRow("XSHA1, 213") << "XSHA1"
                                << "SHA-1"
                                << "213 " + sha1 << sha1;
    QTest::newRow("XCRC") << "XCRC"
                          << "CRC32"
                          << "250 CBF43926" << crc;
    QTest::newRow("refused") << "XCRC"
                             << "CRC32"
                             << "550 CBF43926"
                             << "";
    QTest::newRow("short digest") << "XSHA1"
                                  << "SHA-1"
                                  << "250 f7c3bc1d"
                                  << "";
}

void TestFtpHash::replyDigest()
{
    QFETCH(QString, command);
    QFETCH(QString, algorithm);
    QFETCH(QString, reply);
    QFETCH(QString, digest);
    const HashCommand hash{{}, command, algorithm};
    const QString found = ::replyDigest(hash, reply, 9);
    QCOMPARE(found, digest);
    if (!digest.isEmpty()) {
        QCOMPARE(localDigest(algorithm, "123456789"), digest);
        // A file's digest, read in pieces, is the same.
        QBuffer file;
        file.setData("123456789");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(localDigest(algorithm, file), digest);
        QCOMPARE(hashOutcome(hash, digest, found).result, Result::Pass);
        QCOMPARE(hashOutcome(hash, localDigest(algorithm, "12345678"), found).result, Result::Fail);
    }
}

QTEST_GUILESS_MAIN(TestFtpHash)
#include "tst_ftp_hash.moc"
