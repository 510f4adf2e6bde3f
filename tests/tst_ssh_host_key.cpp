// Host key facts checked against OpenSSH itself: the keys, their
// fingerprints and the hashed known_hosts lines are made by ssh-keygen now.
#include "sftp/ssh_host_key.h"
#include "ssh_server_process.h"

#include <QTest>

#include <curl/curl.h>

Q_DECLARE_METATYPE(HostKeyVerdict::Action)

class TestSshHostKey : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void keyFacts();
    void keyTypeFromLibcurl_data();
    void keyTypeFromLibcurl();
    void malformedBlobHasNoType_data();
    void malformedBlobHasNoType();
    void knownHosts_data();
    void knownHosts();
    void verdict_data();
    void verdict();

private:
    QTemporaryDir m_dir;
    // Two ed25519 keys and one ECDSA key, by the letter the tables use.
    QMap<QChar, SshKey> m_keys;
};

void TestSshHostKey::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QList<std::pair<QChar, QString>> made{{'A', "ed25519"}, {'B', "ed25519"}, {'E', "ecdsa"}};
    for (const auto &[letter, type] : made) {
        QString error;
        SshKey key;
        QVERIFY2(makeSshKey(m_dir.filePath(letter), type, &key, &error), qPrintable(error));
        m_keys.insert(letter, key);
    }
}

void TestSshHostKey::keyFacts()
{
    for (const SshKey &key : std::as_const(m_keys)) {
        QCOMPARE(sshFingerprint(key.blob), key.fingerprint);
        QCOMPARE(sshBlobKeyType(key.blob), key.type);
        QCOMPARE(sshKeyType(CURLKHTYPE_UNKNOWN, key.blob), key.type);
    }
}

void TestSshHostKey::keyTypeFromLibcurl_data()
{
    QTest::addColumn<int>("curlType");
    QTest::addColumn<QChar>("key");
    QTest::newRow("ed25519") << int(CURLKHTYPE_ED25519) << QChar('A');
    QTest::newRow("ecdsa, any curve") << int(CURLKHTYPE_ECDSA) << QChar('E');
}

void TestSshHostKey::keyTypeFromLibcurl()
{
    // Without a blob that names itself, libcurl's type decides.
    QFETCH(int, curlType);
    QFETCH(QChar, key);
    const QString type = sshKeyType(curlType, QByteArray());
    QVERIFY(sameKeyKind(type, m_keys[key].type));
    for (const SshKey &other : std::as_const(m_keys))
        QCOMPARE(sameKeyKind(type, other.type), other.type == m_keys[key].type);
}

void TestSshHostKey::malformedBlobHasNoType_data()
{
    QTest::addColumn<QByteArray>("blob");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("length only") << QByteArray::fromHex("0000000b");
    QTest::newRow("name cut short") << QByteArray::fromHex("0000000b") + "ssh-ed";
    QTest::newRow("length zero") << QByteArray::fromHex("00000000") + "ssh-ed25519";
    QTest::newRow("length past the end") << QByteArray::fromHex("ffffffff") + "ssh-ed25519";
    QTest::newRow("control character") << QByteArray::fromHex("00000003") + "a\nb";
}

void TestSshHostKey::malformedBlobHasNoType()
{
    QFETCH(QByteArray, blob);
    QVERIFY(sshBlobKeyType(blob).isEmpty());
}

void TestSshHostKey::knownHosts_data()
{
    // {A}, {B} and {E} stand for the keys' "type base64" text. With `hash`,
    // ssh-keygen -H hashes the names first, as `HashKnownHosts yes` does.
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hash");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<KnownHostState>("expected");
    const auto Known = KnownHostState::Known;
    const auto Changed = KnownHostState::Changed;
    const auto Unknown = KnownHostState::Unknown;
    const auto row = [](const char *name, const char *text, bool hash, const char *host, int port,
                        KnownHostState expected) {
        QTest::newRow(name) << QString::fromLatin1(text) << hash << QString::fromLatin1(host)
                            << port << expected;
    };
    row("empty file", "", false, "127.0.0.1", 22, Unknown);
    row("same key", "127.0.0.1 {A}", false, "127.0.0.1", 22, Known);
    row("other key, same type", "127.0.0.1 {B}", false, "127.0.0.1", 22, Changed);
    row("only a key of another type", "127.0.0.1 {E}", false, "127.0.0.1", 22, Unknown);
    row("other host", "other.localhost {B}", false, "127.0.0.1", 22, Unknown);
    row("comma list", "other.localhost,demo.localhost {A}", false, "demo.localhost", 22, Known);
    row("host in upper case", "DEMO.localhost {B}", false, "demo.LOCALHOST", 22, Changed);
    row("port in brackets", "[127.0.0.1]:2222 {A}", false, "127.0.0.1", 2222, Known);
    row("plain name is port 22 only", "127.0.0.1 {B}", false, "127.0.0.1", 2222, Unknown);
    row("bracketed name, other port", "[127.0.0.1]:2222 {B}", false, "127.0.0.1", 2223, Unknown);
    row("the key beside another", "127.0.0.1 {B}\n127.0.0.1 {A}", false, "127.0.0.1", 22, Known);
    row("comments, blanks, CRLF", "# 127.0.0.1 {B}\n\n  \t\n127.0.0.1 {A} a comment\r\n", false,
        "127.0.0.1", 22, Known);
    row("wildcards", "*.local?ost {B}", false, "demo.localhost", 22, Changed);
    row("negated", "*.localhost,!demo.localhost {B}", false, "demo.localhost", 22, Unknown);
    row("hashed", "127.0.0.1 {A}", true, "127.0.0.1", 22, Known);
    row("hashed, changed", "demo.localhost {B}", true, "demo.localhost", 22, Changed);
    row("hashed with port", "[127.0.0.1]:2222 {A}", true, "127.0.0.1", 2222, Known);
    row("hashed, other port", "[127.0.0.1]:2222 {B}", true, "127.0.0.1", 2223, Unknown);
    row("hashed list", "other.localhost,[demo.localhost]:2222 {B}", true, "demo.localhost", 2222,
        Changed);
    row("hashed, other host", "other.localhost {B}", true, "127.0.0.1", 22, Unknown);
    row("revoked", "127.0.0.1 {A}\n@revoked * {A}", false, "127.0.0.1", 22, Changed);
    row("revoked for the host", "@revoked [127.0.0.1]:2222 {A}", false, "127.0.0.1", 2222, Changed);
    row("another key revoked", "@revoked * {B}\n127.0.0.1 {A}", false, "127.0.0.1", 22, Known);
    row("certificate authority ignored", "@cert-authority * {B}", false, "127.0.0.1", 22, Unknown);
    row("unknown marker", "@trusted 127.0.0.1 {B}", false, "127.0.0.1", 22, Unknown);
    row("key field missing", "127.0.0.1 ssh-ed25519", false, "127.0.0.1", 22, Unknown);
    row("key field not base64", "127.0.0.1 ssh-ed25519 AAAA$$$$", false, "127.0.0.1", 22, Unknown);
}

void TestSshHostKey::knownHosts()
{
    QFETCH(QString, text);
    QFETCH(bool, hash);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(KnownHostState, expected);
    for (auto it = m_keys.cbegin(); it != m_keys.cend(); ++it)
        text.replace(QStringLiteral("{%1}").arg(it.key()), it->publicLine());
    if (hash) {
        const QString file = m_dir.filePath(QStringLiteral("known_hosts"));
        QVERIFY(writeFile(file, text.toUtf8() + '\n'));
        QString error;
        QVERIFY2(!runTool(QStringLiteral("ssh-keygen"), {QStringLiteral("-H"), "-f", file}, &error)
                      .isNull(),
                 qPrintable(error));
        text = QString::fromUtf8(readFile(file));
        QVERIFY2(!text.contains(host, Qt::CaseInsensitive), qPrintable(text));
    }
    const SshKey &shown = m_keys['A'];
    QCOMPARE(knownHostState(text.toUtf8(), host, port, shown.type, shown.blob), expected);
    // The type the blob names serves as well.
    QCOMPARE(knownHostState(text.toUtf8(), host, port, QString(), shown.blob), expected);
}

void TestSshHostKey::verdict_data()
{
    using A = HostKeyVerdict::Action;
    QTest::addColumn<QChar>("pinned"); // the key trusted this session, ' ' for none
    QTest::addColumn<QChar>("listed"); // the key known_hosts holds, ' ' for none
    QTest::addColumn<HostKeyVerdict::Action>("action");
    QTest::newRow("unknown") << QChar(' ') << QChar(' ') << A::Ask;
    QTest::newRow("in known_hosts") << QChar(' ') << QChar('A') << A::Accept;
    QTest::newRow("other in known_hosts") << QChar(' ') << QChar('B') << A::Refuse;
    QTest::newRow("pinned") << QChar('A') << QChar(' ') << A::Accept;
    QTest::newRow("changed within the session") << QChar('B') << QChar(' ') << A::Refuse;
    QTest::newRow("pin wins over known_hosts") << QChar('B') << QChar('A') << A::Refuse;
}

void TestSshHostKey::verdict()
{
    QFETCH(QChar, pinned);
    QFETCH(QChar, listed);
    const SshKey &shown = m_keys['A'];
    const QByteArray pin =
        pinned == ' ' ? QByteArray() : m_keys[pinned].fingerprint.section(':', 1).toLatin1();
    const QByteArray knownHosts =
        listed == ' ' ? QByteArray() : "[h.localhost]:2222 " + m_keys[listed].publicLine().toUtf8();
    const HostKeyVerdict verdict =
        hostKeyVerdict(pin, knownHosts, "h.localhost", 2222, CURLKHTYPE_ED25519, shown.blob);
    QTEST(verdict.action, "action");
    QCOMPARE(verdict.fingerprint, shown.fingerprint);
    QCOMPARE(verdict.keyType, shown.type);
}

QTEST_GUILESS_MAIN(TestSshHostKey)
#include "tst_ssh_host_key.moc"
