// The pure protocol pieces: reply assembly, the PWD reply and remote folders,
// and the decoding of retrieved data for Get Chunk.
#include "text/protocol/chunk_decoder.h"
#include "text/protocol/ftp_reply.h"
#include "text/protocol/remote_folder.h"
#include "engine/tls_trust.h"

#include <QTest>

class TestFtpProtocol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replies_data();
    void replies();
    void replyLimits_data();
    void replyLimits();
    void pwdFolder_data();
    void pwdFolder();
    void resolved_data();
    void resolved();
    void decodedInAnyPieces_data();
    void decodedInAnyPieces();
    void loopbackHosts_data();
    void loopbackHosts();
    void protectionName_data();
    void protectionName();
    void tlsNextStep_data();
    void tlsNextStep();
};

void TestFtpProtocol::replies_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("code");      // of the reply the last line completes; 0 for none
    QTest::addColumn<int>("firstLine"); // where that reply starts
    QTest::newRow("one line") << QStringList{"226 Transfer complete."} << 226 << 0;
    QTest::newRow("code alone") << QStringList{"226"} << 226 << 0;
    QTest::newRow("multi-line") << QStringList{"220-Welcome", "220-to this server", "220 ready"}
                                << 220 << 0;
    QTest::newRow("codes in the middle lines")
        << QStringList{"211-Features:", "257 not the end", "211-still not", " MDTM", "211 End"}
        << 211 << 0;
    QTest::newRow("another code ends nothing") << QStringList{"220-Welcome", "230 ok"} << 0 << 0;
    QTest::newRow("text before a reply") << QStringList{"hello", "200 ok"} << 200 << 1;
    QTest::newRow("code without a separator") << QStringList{"2260 ok"} << 0 << 0;
    QTest::newRow("Arabic-Indic digits") << QStringList{"\u0662\u0662\u0666 ok"} << 0 << 0;
    QTest::newRow("fullwidth digits") << QStringList{"\uff12\uff12\uff16 ok"} << 0 << 0;
    QTest::newRow("first digit zero") << QStringList{"000 ok"} << 0 << 0;
    QTest::newRow("first digit six") << QStringList{"600 ok"} << 0 << 0;
    QTest::newRow("multi-line closed by non-ASCII digits")
        << QStringList{"226-a", "\u0662\u0662\u0666 b"} << 0 << 0;
}

void TestFtpProtocol::replies()
{
    QFETCH(QStringList, lines);
    QFETCH(int, code);
    QFETCH(int, firstLine);
    FtpReplyAssembler assembler;
    std::optional<FtpReply> reply;
    for (const QString &line : std::as_const(lines)) {
        QVERIFY2(!reply, "a reply ended before the last line");
        reply = assembler.addLine(line);
    }
    QVERIFY(!assembler.error());
    QCOMPARE(reply.has_value(), code != 0);
    QCOMPARE(reply ? reply->code : 0, code);
    if (reply)
        QCOMPARE(reply->text, lines.mid(firstLine).join(QStringLiteral("\r\n")));
}

void TestFtpProtocol::replyLimits_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("malformed");
    const QString longLine = QString(FtpReplyAssembler::MaxChars, QLatin1Char('x'));
    QStringList endless(FtpReplyAssembler::MaxLines + 1, QStringLiteral("220-more"));
    QTest::newRow("endless multi-line") << endless << true;
    QStringList atLimit(FtpReplyAssembler::MaxLines - 1, QStringLiteral("220-more"));
    atLimit << QStringLiteral("220 end");
    QTest::newRow("as many lines as allowed") << atLimit << false;
    QTest::newRow("one long line") << QStringList{"220 " + longLine} << true;
    QTest::newRow("long text over two lines")
        << QStringList{"220-" + longLine.left(FtpReplyAssembler::MaxChars / 2),
                       "220 " + longLine.left(FtpReplyAssembler::MaxChars / 2)}
        << true;
}

void TestFtpProtocol::replyLimits()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, malformed);
    FtpReplyAssembler assembler;
    std::optional<FtpReply> reply;
    for (const QString &line : std::as_const(lines))
        reply = assembler.addLine(line);
    QCOMPARE(bool(assembler.error()), malformed);
    QCOMPARE(!reply, malformed);
    if (!malformed)
        return;
    // Nothing more is taken until the assembler is reset; then it works again.
    QVERIFY(!assembler.addLine(QStringLiteral("200 ok")));
    assembler.reset();
    QVERIFY(!assembler.error());
    QCOMPARE(assembler.addLine(QStringLiteral("200 ok")).value_or(FtpReply{}).code, 200);
}

void TestFtpProtocol::pwdFolder_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("folder");
    QTest::newRow("quoted") << "257 \"/pub/docs\" is the current directory."
                            << "/pub/docs";
    QTest::newRow("quotes doubled") << "257 \"/a \"\"b\"\" c\" is current"
                                    << "/a \"b\" c";
    QTest::newRow("no quotes") << "257 /pub"
                               << "/pub";
    QTest::newRow("quote never closed") << "257 \"/pub"
                                        << "/pub";
    QTest::newRow("doubled quote at the end") << "257 \"/pub\"\""
                                              << "/pub\"";
    QTest::newRow("code alone") << "257"
                                << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestFtpProtocol::pwdFolder()
{
    QFETCH(QString, reply);
    QFETCH(QString, folder);
    QCOMPARE(folderFromPwdReply(reply), folder);
}

void TestFtpProtocol::resolved_data()
{
    QTest::addColumn<QString>("start"); // taken against the login folder
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    QTest::newRow("relative") << "a"
                              << "b/c"
                              << "a/b/c";
    QTest::newRow("dots") << "a"
                          << "./b/."
                          << "a/b";
    QTest::newRow("empty segments") << "a"
                                    << "b//c/"
                                    << "a/b/c";
    QTest::newRow("up") << "a/b"
                        << ".."
                        << "a";
    QTest::newRow("up above the login folder") << ""
                                               << "../x"
                                               << "../x";
    QTest::newRow("up twice above the login folder") << ".."
                                                     << ".."
                                                     << "../..";
    QTest::newRow("absolute") << "a"
                              << "/x/y"
                              << "/x/y";
    QTest::newRow("up above the root") << "/"
                                       << "../../x"
                                       << "/x";
    QTest::newRow("root") << "a"
                          << "/"
                          << "/";
}

void TestFtpProtocol::resolved()
{
    QFETCH(QString, start);
    QFETCH(QString, name);
    QFETCH(QString, folder);
    QCOMPARE(RemoteFolder{}.resolved(start).resolved(name).display(), folder);
}

void TestFtpProtocol::decodedInAnyPieces_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QChar bad = QChar::ReplacementCharacter;
    QTest::newRow("ASCII") << QByteArray("hello") << "hello";
    QTest::newRow("two-, three- and four-byte characters")
        << QByteArray("\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80") << "\u00e4\u20ac\U0001f600";
    QTest::newRow("cut at the end") << QByteArray("x\xe2\x82") << QString("x") + bad;
    QTest::newRow("cut before ASCII") << QByteArray("x\xe2y") << QString("x") + bad + "y";
    QTest::newRow("three of four before ASCII")
        << QByteArray("\xf0\x9f\x98y") << bad + QString("y");
    QTest::newRow("cut before a lead byte")
        << QByteArray("\xc3\xe2\x82\xac") << bad + QString("\u20ac");
    QTest::newRow("Latin-1 at the 1024th byte")
        << QByteArray(1023, 'a') + "\xe9Xtail" << QString(1023, 'a') + bad + "Xtail";
    QTest::newRow("stray continuation bytes") << QByteArray("\x80\xbf") << QString(2, bad);
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QString(2, bad);
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QString(3, bad);
    QTest::newRow("above U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << QString(4, bad);
    QTest::newRow("maximal subparts")
        << QByteArray("\xe1\x80\xe2\xf0\x91\x92\xf1\xbf\x41") << QString(4, bad) + "A";
    QTest::newRow("NUL and BOM kept") << QByteArray("\xef\xbb\xbf"
                                                    "a\0b",
                                                    6)
                                      << QChar(0xfeff) + QString("a") + QChar(0) + "b";
}

void TestFtpProtocol::decodedInAnyPieces()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    Utf8ChunkDecoder decoder;
    QCOMPARE(decoder.decode(bytes, true), text);
    for (qsizetype split = 0; split <= bytes.size(); ++split) {
        QString pieces = decoder.decode(bytes.left(split), false);
        pieces += decoder.decode(bytes.mid(split), true);
        QVERIFY2(pieces == text, qPrintable(QStringLiteral("split at %1").arg(split)));
    }
    QString oneByOne;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        oneByOne += decoder.decode(bytes.mid(i, 1), i + 1 == bytes.size());
    QCOMPARE(oneByOne, text);
}

// Only this machine may have the account in clear text without a question.
void TestFtpProtocol::loopbackHosts_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("loopback");
    QTest::newRow("127.0.0.1") << "127.0.0.1" << true;
    QTest::newRow("elsewhere in 127/8") << "127.5.6.7" << true;
    QTest::newRow("::1") << "::1" << true;
    QTest::newRow("[::1]") << "[::1]" << true;
    QTest::newRow("localhost") << "LocalHost" << true;
    QTest::newRow("*.localhost") << "demo.localhost" << true;
    QTest::newRow("a name ending in localhost") << "evil-localhost" << false;
    QTest::newRow("localhost as a subdomain") << "localhost.example" << false;
    QTest::newRow("a name starting like loopback") << "127.0.0.1.example" << false;
    QTest::newRow("128.0.0.1") << "128.0.0.1" << false;
    QTest::newRow("private network") << "10.0.0.1" << false;
    QTest::newRow("IPv6 elsewhere") << "2001:db8::1" << false;
    QTest::newRow("empty") << "" << false;
}

void TestFtpProtocol::loopbackHosts()
{
    QFETCH(QString, host);
    QFETCH(bool, loopback);
    QCOMPARE(isLoopbackHost(host), loopback);
}

void TestFtpProtocol::protectionName_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QString>("protection");
    QTest::newRow("TLS 1.2") << QByteArray("TLSv1.2") << "TLS 1.2";
    QTest::newRow("TLS 1.3") << QByteArray("TLSv1.3") << "TLS 1.3";
    QTest::newRow("no version") << QByteArray("TLSv") << QString();
    QTest::newRow("unknown") << QByteArray("unknown") << QString();
}

void TestFtpProtocol::protectionName()
{
    QFETCH(QByteArray, version);
    QFETCH(QString, protection);
    QCOMPARE(::protectionName(version), protection);
}

void TestFtpProtocol::tlsNextStep_data()
{
    using Check = TlsSettings::Check;
    QTest::addColumn<int>("result");
    QTest::addColumn<Check>("check");
    QTest::addColumn<bool>("consentNeeded");
    QTest::addColumn<TlsNextStep>("next");
    const auto row = [](const char *name, CURLcode result, Check check, bool consent,
                        TlsNextStep next) {
        QTest::newRow(name) << int(result) << check << consent << next;
    };
    row("untrusted: fetch the certificate", CURLE_PEER_FAILED_VERIFICATION, Check::Authorities,
        true, TlsNextStep::Probe);
    row("another key than the pinned one", CURLE_SSL_PINNEDPUBKEYNOTMATCH, Check::Pinned, true,
        TlsNextStep::Probe);
    row("the probe has the certificate", CURLE_SSL_PINNEDPUBKEYNOTMATCH, Check::Probe, true,
        TlsNextStep::AskCertificate);
    row("the probe failed to verify", CURLE_PEER_FAILED_VERIFICATION, Check::Probe, true,
        TlsNextStep::End);
    row("no TLS, elsewhere", CURLE_USE_SSL_FAILED, Check::Authorities, true,
        TlsNextStep::AskClearText);
    row("no TLS, this machine", CURLE_USE_SSL_FAILED, Check::Authorities, false, TlsNextStep::End);
    row("a handshake that failed", CURLE_SSL_CONNECT_ERROR, Check::Authorities, true,
        TlsNextStep::End);
    row("success", CURLE_OK, Check::Pinned, true, TlsNextStep::End);
}

void TestFtpProtocol::tlsNextStep()
{
    QFETCH(int, result);
    QFETCH(TlsSettings::Check, check);
    QFETCH(bool, consentNeeded);
    QFETCH(TlsNextStep, next);
    QCOMPARE(nextTlsStep(CURLcode(result), check, consentNeeded), next);
}

QTEST_APPLESS_MAIN(TestFtpProtocol)
#include "tst_ftp_protocol.moc"
