// A PUT checked by the server's hash as well as by size, through the real
// component against pyftpdlib: with HASH, with the older XSHA256, with no
// hash at all (where nothing more goes on the wire), and with a server that
// stores something other than what it was sent.
#include "transfer_run.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

class TestUploadCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void checked_data();
    void checked();
    void featuresAskedOncePerLogin();
};

void TestUploadCheck::checked_data()
{
    QTest::addColumn<QStringList>("options"); // the test server's
    QTest::addColumn<QString>("command");     // the hash command the check sends; empty: none
    QTest::addColumn<bool>("stored");         // the server stores what it was sent
    QTest::newRow("no hash") << QStringList{} << "" << true;
    QTest::newRow("HASH") << QStringList{"--hash", "HASH"} << "HASH up.bin" << true;
    QTest::newRow("XSHA256") << QStringList{"--hash", "X"} << "XSHA256 up.bin" << true;
    QTest::newRow("HASH, stored changed")
        << QStringList{"--hash", "HASH", "--corrupt", "up.bin"} << "HASH up.bin" << false;
    QTest::newRow("no hash, stored changed") << QStringList{"--corrupt", "up.bin"} << "" << false;
}

void TestUploadCheck::checked()
{
    QFETCH(QStringList, options);
    QFETCH(QString, command);
    QFETCH(bool, stored);
    QTemporaryDir root;
    QTemporaryDir local;
    FtpServerProcess server;
    QVERIFY2(server.start(root.path(), TestUser, TestPassword, options), "pyftpdlib did not start");
    QByteArray data(200 * 1024 + 3, Qt::Uninitialized);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
    QVERIFY(writeFile(local.filePath("up.bin"), data));

    const Outcome outcome = run(*transferTo(server.address()), "PUT " + local.filePath("up.bin"));
    const QByteArray onServer = readFile(root.filePath("up.bin"));
    QCOMPARE(onServer == data, stored);
    const QString wire = QString::fromUtf8(server.commandsReceived());
    static const QRegularExpression hashCommand("^(OPTS HASH|HASH|XSHA|XMD5|XCRC)",
                                                QRegularExpression::MultilineOption);
    if (command.isEmpty()) {
        // The size check alone, as before, and no hash asked for: a
        // changed byte goes unseen.
        QVERIFY2(!wire.contains(hashCommand), qPrintable(wire));
        QVERIFY2(outcome.ok, qPrintable(outcome.info));
        QVERIFY2(!outcome.info.contains("checked against"), qPrintable(outcome.info));
        return;
    }
    QVERIFY2(wire.contains(command + "\n"), qPrintable(wire));
    const auto sha256 = [](const QByteArray &bytes) {
        return QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    };
    QCOMPARE(outcome.ok, stored);
    QCOMPARE(outcome.states.constLast(),
             stored ? TransferState::ResponseCompleted : TransferState::Error);
    if (stored) {
        QVERIFY2(outcome.info.endsWith(", SHA-256 checked against the server's"),
                 qPrintable(outcome.info));
        // The upload's own figures stand for the whole.
        QVERIFY2(
            !outcome.protocol.filter(QRegularExpression("^PUT done: 204,803 bytes in ")).isEmpty(),
            qPrintable(outcome.protocol.join('\n')));
    } else {
        QVERIFY2(outcome.info.contains(sha256(data)) && outcome.info.contains(sha256(onServer)) &&
                     outcome.info.endsWith("the remote file differs from what was sent"),
                 qPrintable(outcome.info));
    }
}

// The login's features are read once: the same login's next PUT asks for
// the hash without a FEAT of its own.
void TestUploadCheck::featuresAskedOncePerLogin()
{
    QTemporaryDir root;
    QTemporaryDir local;
    FtpServerProcess server;
    QVERIFY2(server.start(root.path(), TestUser, TestPassword, {"--hash", "HASH"}),
             "pyftpdlib did not start");
    QVERIFY(writeFile(local.filePath("up.bin"), QByteArray(5000, 'u')));
    auto transfer = transferTo(server.address());
    for (int put = 0; put < 2; ++put) {
        const Outcome outcome = run(*transfer, "PUT " + local.filePath("up.bin"));
        QVERIFY2(outcome.info.endsWith("checked against the server's"), qPrintable(outcome.info));
    }
    const QString wire = QString::fromUtf8(server.commandsReceived());
    QCOMPARE(wire.count(QRegularExpression("^USER ", QRegularExpression::MultilineOption)), 1);
    QCOMPARE(wire.count(QRegularExpression("^FEAT$", QRegularExpression::MultilineOption)), 1);
    QCOMPARE(wire.count(QRegularExpression("^HASH up.bin$", QRegularExpression::MultilineOption)),
             2);
}

QTEST_GUILESS_MAIN(TestUploadCheck)
#include "tst_upload_check.moc"
