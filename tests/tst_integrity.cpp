// REGET and HASH through the real component, on FTP (pyftpdlib, plain and
// with hash commands) and SFTP (the demo server). REGET: a partial file that
// is a start of the server's file gets only the rest and ends byte for byte
// the same; one that is not is refused and left as it was. HASH: the
// server's hash where it offers one, else one computed from a read-back.
#include "ssh_server_process.h"
#include "text/operator_log.h"
#include "text/remote_hash_text.h"
#include "text/resume_text.h"
#include "transfer_run.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

constexpr qint64 FileSize = 300 * 1024;

} // namespace

class TestIntegrity : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void firstDifference_data();
    void firstDifference();
    void reget_data();
    void reget();
    void noPartialFile();
    void regetCutShort();
    void reput_data() { reget_data(); }
    void reput();
    void hash_data();
    void hash();
    void readBackKeepsNoFile();
    void emptySftpSize_data();
    void emptySftpSize();

private:
    // The first `kept` bytes of the served file (more: with bytes of its
    // own after them), the byte at `changed` changed when not negative.
    QByteArray partialCopy(qint64 kept, qint64 changed) const
    {
        QByteArray partial = m_served.left(kept);
        if (kept > FileSize)
            partial += QByteArray(kept - FileSize, 'x');
        if (changed >= 0)
            partial[changed] = char(partial[changed] ^ 0x55);
        return partial;
    }

    std::unique_ptr<CurlTransfer> transferFor(const QString &server)
    {
        if (server == QLatin1String("sftp"))
            return sftpTransferTo(m_sftp.port(), TestUser, TestPassword);
        if (server == QLatin1String("ftp HASH"))
            return transferTo(m_ftpHash.address());
        if (server == QLatin1String("ftp X"))
            return transferTo(m_ftpX.address());
        return transferTo(m_ftp.address());
    }

    QTemporaryDir m_root;
    QTemporaryDir m_local;
    QByteArray m_served;
    FtpServerProcess m_ftp;
    FtpServerProcess m_ftpHash; // offers HASH
    FtpServerProcess m_ftpX;    // offers XSHA256, XSHA1 and XMD5
    SftpServerProcess m_sftp;
};

void TestIntegrity::initTestCase()
{
    m_served.resize(FileSize);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(m_served.data()),
                                  m_served.size() / 4);
    QVERIFY(writeFile(m_root.filePath("big.bin"), m_served));
    QVERIFY2(m_ftp.start(m_root.path(), TestUser, TestPassword), "pyftpdlib did not start");
    QVERIFY(m_ftpHash.start(m_root.path(), TestUser, TestPassword, {"--hash", "HASH"}));
    QVERIFY(m_ftpX.start(m_root.path(), TestUser, TestPassword, {"--hash", "X"}));
    QVERIFY2(m_sftp.start(m_root.path(), TestUser, TestPassword),
             "the demo SFTP server did not start (python3-asyncssh)");
    static QTemporaryDir home; // no operator's known_hosts
    qputenv("HOME", home.path().toUtf8());
    QVERIFY(QDir::setCurrent(m_local.path()));
}

void TestIntegrity::firstDifference_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<qint64>("offset");
    QTest::newRow("same") << QByteArray("abc") << QByteArray("abc") << qint64(-1);
    QTest::newRow("a start") << QByteArray("ab") << QByteArray("abc") << qint64(-1);
    QTest::newRow("first") << QByteArray("xbc") << QByteArray("abc") << qint64(0);
    QTest::newRow("last") << QByteArray("abx") << QByteArray("abc") << qint64(2);
    QTest::newRow("empty") << QByteArray() << QByteArray("abc") << qint64(-1);
}

void TestIntegrity::firstDifference()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(qint64, offset);
    QCOMPARE(::firstDifference(a, b), offset);
    QCOMPARE(::firstDifference(b, a), offset);
}

void TestIntegrity::reget_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<qint64>("kept");    // bytes of the server's file in the partial file
    QTest::addColumn<qint64>("changed"); // the partial file's byte changed, or -1
    QTest::addColumn<bool>("ok");
    for (const char *protocol : {"ftp", "sftp"}) {
        const QString p = QLatin1String(protocol);
        QTest::addRow("%s, half", protocol) << p << FileSize / 2 << qint64(-1) << true;
        QTest::addRow("%s, a few bytes", protocol) << p << qint64(10) << qint64(-1) << true;
        QTest::addRow("%s, empty", protocol) << p << qint64(0) << qint64(-1) << true;
        QTest::addRow("%s, whole", protocol) << p << FileSize << qint64(-1) << true;
        QTest::addRow("%s, one byte changed", protocol)
            << p << FileSize / 2 << FileSize / 2 - 100 << false;
        QTest::addRow("%s, larger", protocol) << p << FileSize + 5 << qint64(-1) << false;
    }
}

void TestIntegrity::reget()
{
    QFETCH(QString, protocol);
    QFETCH(qint64, kept);
    QFETCH(qint64, changed);
    QFETCH(bool, ok);
    const QByteArray partial = partialCopy(kept, changed);
    const QString local = m_local.filePath("part.bin");
    QVERIFY(writeFile(local, partial));

    auto transfer = transferFor(protocol);
    const Outcome outcome = run(*transfer, "REGET big.bin " + local, {true});
    QVERIFY2(outcome.ok == ok, qPrintable(outcome.info));
    QCOMPARE(outcome.states.count(TransferState::ResponseCompleted) +
                 outcome.states.count(TransferState::Error),
             1);
    if (!ok) {
        QCOMPARE(readFile(local), partial);
        if (changed >= 0)
            QVERIFY2(outcome.info.contains(QStringLiteral("differs from the server's file at "
                                                          "byte %1")
                                               .arg(groupedNumber(changed))),
                     qPrintable(outcome.info));
        return;
    }
    QCOMPARE(readFile(local), m_served);
    if (kept == FileSize)
        QVERIFY2(outcome.info.contains("already whole"), qPrintable(outcome.info));
    // Only the rest travelled: FTP asked for it from where the partial file ends.
    if (protocol == QLatin1String("ftp") && kept > 0 && kept < FileSize)
        QVERIFY2(outcome.protocol.contains(QStringLiteral("REST %1").arg(kept)),
                 qPrintable(outcome.protocol.join('\n')));
}

void TestIntegrity::noPartialFile()
{
    const QString none = m_local.filePath("none.bin");
    const Outcome outcome = run(*transferFor(QStringLiteral("ftp")), "REGET big.bin " + none);
    QVERIFY(!outcome.ok);
    QVERIFY2(outcome.info.contains("There is no partial file"), qPrintable(outcome.info));
    QVERIFY(!QFile::exists(none));
}

// A rest that breaks off half-way (and the server, ignoring REST, sends
// the start again) leaves the partial file as it was.
void TestIntegrity::regetCutShort()
{
    FtpServerProcess cutting;
    QVERIFY(cutting.start(m_root.path(), TestUser, TestPassword, {"--cut", "big.bin"}));
    const QString local = m_local.filePath("cut.bin");
    QVERIFY(writeFile(local, m_served.left(10)));
    const Outcome outcome = run(*transferTo(cutting.address()), "REGET big.bin " + local);
    QVERIFY2(!outcome.ok && outcome.protocol.contains("REST 10"), qPrintable(outcome.info));
    QCOMPARE(readFile(local), m_served.left(10));
}

// The same cases with the server's copy partial: only the rest is appended,
// and a copy that is not a start of the local file stays as it was.
void TestIntegrity::reput()
{
    QFETCH(QString, protocol);
    QFETCH(qint64, kept);
    QFETCH(qint64, changed);
    QFETCH(bool, ok);
    const QByteArray partial = partialCopy(kept, changed);
    const QString remote = m_root.filePath("up.bin");
    QVERIFY(writeFile(remote, partial));
    const QString local = m_local.filePath("whole.bin");
    QVERIFY(writeFile(local, m_served));

    const Outcome outcome = run(*transferFor(protocol), "REPUT " + local + " up.bin", {true});
    QVERIFY2(outcome.ok == ok, qPrintable(outcome.info));
    QCOMPARE(readFile(remote), ok ? m_served : partial);
    if (changed >= 0)
        QVERIFY2(outcome.info.contains(QStringLiteral("at byte %1").arg(groupedNumber(changed))),
                 qPrintable(outcome.info));
    // Only the rest travelled: appended, not stored anew.
    if (protocol == QLatin1String("ftp") && ok && kept > 0 && kept < FileSize)
        QVERIFY2(outcome.protocol.contains(QStringLiteral("APPE up.bin")) &&
                     !outcome.protocol.contains(QStringLiteral("STOR up.bin")),
                 qPrintable(outcome.protocol.join('\n')));
}

void TestIntegrity::hash_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("byServer");
    QTest::addColumn<QByteArray>("local"); // empty: none given
    const QByteArray other = QByteArray(m_served).replace(0, 1, "?");
    for (const auto &[server, byServer] :
         {std::pair{"ftp", false}, {"ftp HASH", true}, {"ftp X", true}, {"sftp", false}}) {
        QTest::addRow("%s", server) << QString::fromLatin1(server) << byServer << QByteArray();
        QTest::addRow("%s, same", server) << QString::fromLatin1(server) << byServer << m_served;
        QTest::addRow("%s, other", server) << QString::fromLatin1(server) << byServer << other;
    }
}

void TestIntegrity::hash()
{
    QFETCH(QString, server);
    QFETCH(bool, byServer);
    QFETCH(QByteArray, local);
    QString command = QStringLiteral("HASH big.bin");
    if (!local.isEmpty()) {
        QVERIFY(writeFile(m_local.filePath("mine.bin"), local));
        command += QLatin1Char(' ') + m_local.filePath("mine.bin");
    }
    const Outcome outcome = run(*transferFor(server), command, {true});
    const QString hex =
        QString::fromLatin1(QCryptographicHash::hash(m_served, QCryptographicHash::Sha256).toHex());
    QVERIFY2(outcome.info.startsWith("SHA-256 " + hex), qPrintable(outcome.info));
    QVERIFY2(outcome.info.contains(byServer ? QStringLiteral("computed by the server")
                                            : QStringLiteral("computed here from a read-back "
                                                             "of 307,200 bytes")),
             qPrintable(outcome.info));
    QCOMPARE(outcome.ok, local.isEmpty() || local == m_served);
    if (!local.isEmpty())
        QVERIFY2(outcome.info.contains(local == m_served ? "matches it" : "differs"),
                 qPrintable(outcome.info));
    // A server that computes the hash sends no data.
    if (byServer)
        QVERIFY(!outcome.protocol.contains(QStringLiteral("RETR big.bin")));
}

// The read-back is hashed as it arrives: it needs no temporary file, and
// works where none can be made.
void TestIntegrity::readBackKeepsNoFile()
{
    QTemporaryDir scratch;
    const QByteArray before = qgetenv("TMPDIR");
    qputenv("TMPDIR", scratch.filePath("none").toUtf8());
    for (const char *server : {"ftp", "sftp"}) {
        const Outcome outcome = run(*transferFor(QLatin1String(server)), "HASH big.bin", {true});
        QVERIFY2(outcome.ok && outcome.info.contains("read-back of 307,200 bytes"),
                 qPrintable(outcome.info));
    }
    if (before.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", before);
    QVERIFY(QDir(scratch.path()).isEmpty());
}

// libcurl says no size for an empty file over SFTP; a read that finds no
// data proves it, for SIZE and for REPUT onto it (tested above).
void TestIntegrity::emptySftpSize_data()
{
    QTest::addColumn<bool>("openssh");
    QTest::newRow("asyncssh") << false;
    QTest::newRow("OpenSSH") << true;
}

void TestIntegrity::emptySftpSize()
{
    QFETCH(bool, openssh);
    QVERIFY(writeFile(m_root.filePath("empty.bin"), {}));
    SshdProcess sshd;
    std::unique_ptr<CurlTransfer> transfer;
    if (openssh) {
        // A key login, with the key where an empty password looks for it.
        QVERIFY2(sshd.start(m_root.path()), qPrintable(sshd.errorString()));
        const QString key = QDir::homePath() + "/.ssh/id_ed25519";
        QDir().mkpath(QDir::homePath() + "/.ssh");
        QFile::remove(key);
        QVERIFY(QFile::copy(sshd.clientKey().path, key));
        QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner);
        transfer = sftpTransferTo(sshd.port(), SshdProcess::userName(), QString());
    } else {
        transfer = transferFor(QStringLiteral("sftp"));
    }
    for (const auto &[name, size] : {std::pair{"empty.bin", "0"}, {"big.bin", "307200"}}) {
        const Outcome outcome = run(*transfer, QStringLiteral("SIZE ") + name, {true});
        QVERIFY2(outcome.ok, qPrintable(outcome.info));
        QCOMPARE(transfer->GetChunk(64), QLatin1String(size));
    }
    QVERIFY(!run(*transfer, "SIZE none.bin").ok);
}

QTEST_GUILESS_MAIN(TestIntegrity)
#include "tst_integrity.moc"
