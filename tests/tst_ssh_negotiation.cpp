// What an SSH server offers before the key exchange: the reader of its
// version line and first packet, fed packets captured from OpenSSH's sshd and
// asyncssh; the sentence that names what the two sides lack; and a real sshd
// whose only host key is RSA with SHA-2 signatures.
#include "ssh_server_process.h"
#include "text/report/site_check_report.h"
#include "text/protocol/ssh_offer.h"
#include "transfer_run.h"

#include <QTest>

namespace {

QByteArray captured(const char *name)
{
    return readFile(QStringLiteral(SARVEL_TESTS_DIR "/data/ssh_offers/") + QLatin1String(name));
}

// The captured bytes with the first packet's length field set to `length`.
QByteArray withPacketLength(QByteArray bytes, quint32 length)
{
    const qsizetype at = bytes.indexOf('\n') + 1;
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(length >> (24 - 8 * i));
    return bytes;
}

// What a libssh2 of this kind supports, as the sentences below name it.
SshAlgorithms librarySupport()
{
    SshAlgorithms ours;
    ours.keyExchange = QStringList{"curve25519-sha256", "ecdh-sha2-nistp256"};
    ours.hostKey = QStringList{"ssh-ed25519",
                               "ecdsa-sha2-nistp256",
                               "ecdsa-sha2-nistp384",
                               "ecdsa-sha2-nistp521",
                               "ssh-ed25519-cert-v01@openssh.com",
                               "ssh-rsa"};
    ours.cipher = QStringList{"aes128-ctr", "aes256-ctr"};
    ours.mac = QStringList{"hmac-sha2-256", "hmac-sha2-512"};
    ours.compression = QStringList{"none"};
    return ours;
}

} // namespace

Q_DECLARE_METATYPE(SshAlgorithms)

class TestSshNegotiation : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void capturedOffers_data();
    void capturedOffers();
    void malformed_data();
    void malformed();
    void nothingInCommon_data();
    void nothingInCommon();
    void rsaOnlyServer();
};

void TestSshNegotiation::capturedOffers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("hostKeys");
    QTest::newRow("OpenSSH, RSA with SHA-2 only")
        << captured("openssh_rsa_only.bin") << "SSH-2.0-OpenSSH_9.2p1 Debian-2+deb12u10"
        << QStringList{"rsa-sha2-512", "rsa-sha2-256"};
    QTest::newRow("OpenSSH, Ed25519")
        << captured("openssh_ed25519.bin") << "SSH-2.0-OpenSSH_9.2p1 Debian-2+deb12u10"
        << QStringList{"ssh-ed25519"};
    QTest::newRow("asyncssh") << captured("asyncssh.bin") << "SSH-2.0-AsyncSSH_2.10.1"
                              << QStringList{"ssh-ed25519"};
    // Lines before the version line are allowed, and a bare line feed ends one.
    QTest::newRow("lines first") << QByteArray("Welcome\r\nto the test server\n") +
                                        captured("asyncssh.bin")
                                 << "SSH-2.0-AsyncSSH_2.10.1" << QStringList{"ssh-ed25519"};
}

void TestSshNegotiation::capturedOffers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, version);
    QFETCH(QStringList, hostKeys);
    QVERIFY(!bytes.isEmpty());
    // Every prefix is a wait for more, never an offer or a fault.
    for (qsizetype size = 0; size < bytes.size(); ++size) {
        const SshOfferReading reading = readSshOffer(QByteArrayView(bytes).first(size));
        QVERIFY2(reading.status == SshOfferReading::Status::NeedMore,
                 qPrintable(QStringLiteral("at %1: %2").arg(size).arg(reading.problem)));
    }
    const SshOfferReading reading = readSshOffer(bytes + "trailing bytes");
    QVERIFY2(reading.status == SshOfferReading::Status::Complete, qPrintable(reading.problem));
    QCOMPARE(reading.version, version);
    QCOMPARE(reading.offer.hostKey, hostKeys);
    for (const QStringList &kind : {reading.offer.keyExchange, reading.offer.cipher,
                                    reading.offer.mac, reading.offer.compression})
        QVERIFY(!kind.isEmpty());
    QVERIFY(reading.offer.compression.contains("none"));
}

void TestSshNegotiation::malformed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem");
    const QByteArray offer = captured("openssh_ed25519.bin");
    const QByteArray version = offer.left(offer.indexOf('\n') + 1);
    QByteArray notKexInit = offer;
    notKexInit[version.size() + 5] = 21;
    QTest::newRow("SSH 1") << QByteArray("SSH-1.5-old\r\n") << "other than version 2";
    QTest::newRow("endless line") << QByteArray(2000, 'x') << "no SSH version line";
    QTest::newRow("too many lines")
        << QByteArray("hello\r\n").repeated(100) << "no SSH version line";
    QTest::newRow("not a key-exchange offer") << notKexInit << "not a key-exchange offer";
    QTest::newRow("huge packet") << withPacketLength(offer, 0x7fffffff) << "length of";
    QTest::newRow("empty packet") << withPacketLength(offer, 0) << "length of 0";
    // The packet ends inside its own name-lists.
    QTest::newRow("cut short") << withPacketLength(offer, 40).left(version.size() + 44)
                               << "cut short";
}

void TestSshNegotiation::malformed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    const SshOfferReading reading = readSshOffer(bytes);
    QCOMPARE(reading.status, SshOfferReading::Status::Malformed);
    QVERIFY2(reading.problem.contains(problem), qPrintable(reading.problem));
}

void TestSshNegotiation::nothingInCommon_data()
{
    QTest::addColumn<SshAlgorithms>("server");
    QTest::addColumn<QString>("sentence");
    const SshAlgorithms ours = librarySupport();
    QTest::newRow("all in common") << ours << QString();
    SshAlgorithms rsaOnly = ours;
    rsaOnly.hostKey = QStringList{"rsa-sha2-512", "rsa-sha2-256"};
    QTest::newRow("host keys")
        << rsaOnly
        << "The server offers host keys rsa-sha2-512, rsa-sha2-256; this program's SSH library "
           "(libssh2 1.10.0) verifies ssh-ed25519, ecdsa-sha2-nistp256/384/521 and ssh-rsa "
           "(SHA-1) only: the server needs an Ed25519 or ECDSA host key";
    SshAlgorithms kex = ours;
    kex.keyExchange = QStringList{"sntrup761x25519-sha512@openssh.com"};
    kex.cipher = QStringList{"chacha20-poly1305@openssh.com"};
    QTest::newRow("key exchange first")
        << kex
        << "The server offers key exchanges sntrup761x25519-sha512@openssh.com; this program's "
           "SSH library (libssh2 1.10.0) supports curve25519-sha256 and ecdh-sha2-nistp256 "
           "only: nothing in common with the server's key exchanges";
    SshAlgorithms macs = ours;
    macs.mac = QStringList{};
    QTest::newRow("none offered")
        << macs
        << "The server offers no MACs; this program's SSH library (libssh2 1.10.0) supports "
           "hmac-sha2-256/512 only: nothing in common with the server's MACs";
}

void TestSshNegotiation::nothingInCommon()
{
    QFETCH(SshAlgorithms, server);
    QFETCH(QString, sentence);
    QCOMPARE(sshNothingInCommon(server, librarySupport(), QStringLiteral("libssh2 1.10.0")),
             sentence);
}

// OpenSSH 8.8 and later sign RSA host keys with SHA-2 only, which libssh2 1.10
// cannot verify: the failure names the host keys on both sides, and nothing
// of the account reaches the server.
void TestSshNegotiation::rsaOnlyServer()
{
    SshdProcess sshd;
    sshd.setRsaSha2Only(true);
    QVERIFY2(sshd.start(), qPrintable(sshd.errorString()));
    auto transfer = sftpTransferTo(sshd.port(), SshdProcess::userName(), QString());
    const Outcome outcome = run(*transfer, "PWD", {true});
    if (outcome.ok)
        QSKIP("this libssh2 verifies RSA keys signed with SHA-2");
    QVERIFY2(outcome.info.contains(
                 "The server offers host keys rsa-sha2-512, rsa-sha2-256; this program's SSH "
                 "library (libssh2 "),
             qPrintable(outcome.info));
    QVERIFY2(outcome.info.endsWith("the server needs an Ed25519 or ECDSA host key"),
             qPrintable(outcome.info));
    QVERIFY(outcome.questions.isEmpty());
    QVERIFY2(!sshd.log().contains(SshdProcess::userName()), qPrintable(sshd.log()));

    // The site check's key-exchange step says the same.
    QString keyExchange;
    QObject::connect(transfer.get(), &TransferComponent::siteCheckStep, transfer.get(),
                     [&](const SiteCheckStep &step) {
                         if (step.id == SiteCheckStepId::KeyExchange)
                             keyExchange = step.outcome.detail;
                     });
    run(*transfer, "CHECK", {true});
    QVERIFY2(keyExchange.contains("the server needs an Ed25519 or ECDSA host key"),
             qPrintable(keyExchange));
}

QTEST_GUILESS_MAIN(TestSshNegotiation)
#include "tst_ssh_negotiation.moc"
