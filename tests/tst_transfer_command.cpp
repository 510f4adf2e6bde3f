// The command grammar of the FTP component, and how it reads a site's URL.
#include "text/transfer_address.h"
#include "text/transfer_command.h"

#include <QRegularExpression>
#include <QTest>

#include <stdexcept>

Q_DECLARE_METATYPE(TransferVerb)

namespace {

// `before` + one character given by its code + `after`: control characters
// cannot be written in a string literal that every compiler takes.
QString withChar(const char *before, char16_t code, const char *after = "")
{
    return QLatin1String(before) + QChar(code) + QLatin1String(after);
}

} // namespace

class TestTransferCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void accepted_data();
    void accepted();
    void rejected_data();
    void rejected();
    void unknownVerbNamesEveryCommand_data();
    void unknownVerbNamesEveryCommand();
    void transferAddress_data();
    void transferAddress();
};

void TestTransferCommand::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<TransferVerb>("verb");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("default put") << "put c:\\tolvar\\vorltest.blm vorltest.blm" << TransferVerb::Put
                                 << QStringList{"c:\\tolvar\\vorltest.blm", "vorltest.blm"};
    QTest::newRow("hint get") << "GET 14JUN992.HTM c:\\temp\\Monday" << TransferVerb::Get
                              << QStringList{"14JUN992.HTM", "c:\\temp\\Monday"};
    QTest::newRow("get without local")
        << "get readme.txt" << TransferVerb::Get << QStringList{"readme.txt"};
    QTest::newRow("recv alias") << "Recv a b" << TransferVerb::Get << QStringList{"a", "b"};
    QTest::newRow("send alias") << "SEND a" << TransferVerb::Put << QStringList{"a"};
    QTest::newRow("quoted names") << "PUT \"my photos/a b.jpg\" \"x y.jpg\"" << TransferVerb::Put
                                  << QStringList{"my photos/a b.jpg", "x y.jpg"};
    QTest::newRow("extra spaces") << "  cd   pub  " << TransferVerb::Cd << QStringList{"pub"};
    QTest::newRow("cd absolute") << "CD /pub/docs" << TransferVerb::Cd << QStringList{"/pub/docs"};
    QTest::newRow("cdup") << "CDUP" << TransferVerb::Cdup << QStringList{};
    QTest::newRow("dir") << "dir" << TransferVerb::Dir << QStringList{};
    QTest::newRow("ls path") << "LS sub" << TransferVerb::Ls << QStringList{"sub"};
    QTest::newRow("pwd") << "pwd" << TransferVerb::Pwd << QStringList{};
    QTest::newRow("size") << "SIZE a#b%c?.txt" << TransferVerb::Size << QStringList{"a#b%c?.txt"};
    QTest::newRow("mkdir non-ASCII")
        << "MKDIR Ärger" << TransferVerb::Mkdir << QStringList{"Ärger"};
    QTest::newRow("rmdir") << "RMDIR old" << TransferVerb::Rmdir << QStringList{"old"};
    QTest::newRow("delete") << "DELETE x" << TransferVerb::Delete << QStringList{"x"};
    QTest::newRow("rename") << "RENAME a b" << TransferVerb::Rename << QStringList{"a", "b"};
    QTest::newRow("close") << "close" << TransferVerb::Close << QStringList{};
    QTest::newRow("quit") << "QUIT" << TransferVerb::Close << QStringList{};
    QTest::newRow("timeout asked") << "timeout" << TransferVerb::Timeout << QStringList{};
    QTest::newRow("timeout set") << "TIMEOUT 30" << TransferVerb::Timeout << QStringList{"30"};
    QTest::newRow("timeout, the longest")
        << "Timeout 3600" << TransferVerb::Timeout << QStringList{"3600"};
    QTest::newRow("no-break space after the C1 range")
        << withChar("CD a", 0x00a0, "b") << TransferVerb::Cd
        << QStringList{withChar("a", 0x00a0, "b")};
}

void TestTransferCommand::accepted()
{
    QFETCH(QString, text);
    QFETCH(TransferVerb, verb);
    QFETCH(QStringList, args);
    const TransferCommand command = parseTransferCommand(text);
    QCOMPARE(command.verb, verb);
    QCOMPARE(command.args, args);
}

void TestTransferCommand::rejected_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message"); // a part of the message
    QTest::newRow("empty") << ""
                           << "No command given";
    QTest::newRow("unknown verb") << "FETCH x"
                                  << "Unknown command \"FETCH\". Verbs: (RE)GET,(RE)PUT";
    QTest::newRow("cd alone") << "CD "
                              << "CD needs a folder name";
    QTest::newRow("get alone") << "GET"
                               << "GET needs more names";
    QTest::newRow("rename one name") << "RENAME a"
                                     << "RENAME needs";
    QTest::newRow("too many") << "GET a b c"
                              << "Too many names for GET";
    QTest::newRow("empty quoted name") << "CD \"\""
                                       << "empty name";
    QTest::newRow("open quote") << "GET \"a b"
                                << "double quote";
    QTest::newRow("CR LF injection") << "CD x\r\nDELE y"
                                     << "line break";
    QTest::newRow("LF alone") << "GET a\nb"
                              << "line break";
    QTest::newRow("NUL in a quoted name")
        << withChar("DELETE \"keep", 0x0000, ".bak\"")
        << "The command contains a control character (U+0000); names may not hold control "
           "characters.";
    QTest::newRow("tab") << withChar("GET a", 0x0009, "b") << "control character (U+0009)";
    QTest::newRow("escape") << withChar("CD ", 0x001b, "[2J") << "control character (U+001B)";
    QTest::newRow("DEL") << withChar("CD a", 0x007f) << "control character (U+007F)";
    QTest::newRow("C1 next line") << withChar("CD a", 0x0085, "b") << "control character (U+0085)";
    QTest::newRow("C1 last") << withChar("CD a", 0x009f) << "control character (U+009F)";
    QTest::newRow("control in the verb") << withChar("CD", 0x0000, " x") << "U+0000";
    QTest::newRow("dotless i") << "d\u0131r"
                               << "Unknown command";
    QTest::newRow("long s") << "\u017Fize x"
                            << "Unknown command";
    // TIMEOUT takes plain digits only, within its range.
    for (const char *seconds : {"0", "3601", "99999", "abc", "-5", "+5", "1e3", "2.5", "\uFF13"})
        QTest::addRow("timeout %s", seconds)
            << QStringLiteral("TIMEOUT %1").arg(QString::fromUtf8(seconds))
            << "TIMEOUT takes a whole number of seconds from 1 to 3600";
    QTest::newRow("timeout, two numbers") << "TIMEOUT 2 3"
                                          << "Too many names for TIMEOUT";
}

void TestTransferCommand::rejected()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    try {
        parseTransferCommand(text);
        QFAIL("accepted");
    } catch (const std::invalid_argument &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(message), error.what());
    }
}

void TestTransferCommand::unknownVerbNamesEveryCommand_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown verb") << "FROB x";
    QTest::newRow("nothing typed") << "  ";
}

// The first line, which the status bar shows, names each verb once; the
// lines after it give every command's form and every other spelling.
void TestTransferCommand::unknownVerbNamesEveryCommand()
{
    QFETCH(QString, text);
    QString message;
    try {
        parseTransferCommand(text);
        QFAIL("accepted");
    } catch (const std::invalid_argument &error) {
        message = QString::fromUtf8(error.what());
    }
    const QString first = message.section(QLatin1Char('\n'), 0, 0);
    const QStringList forms = message.section(QLatin1Char('\n'), 1).split(QLatin1Char('\n'));
    // "(RE)GET" stands for GET and REGET.
    QStringList listed;
    for (const QString &name :
         first.section(QStringLiteral(": "), 1).chopped(1).split(QLatin1Char(','))) {
        const bool both = name.startsWith(QLatin1String("(RE)"));
        listed << (both ? name.mid(4) : name);
        if (both)
            listed << QStringLiteral("RE") + name.mid(4);
    }
    QStringList verbs;
    for (int verb = int(TransferVerb::Get); verb <= int(TransferVerb::Soak); ++verb)
        verbs << transferVerbName(TransferVerb(verb));
    QCOMPARE(listed, verbs);
    QVERIFY(listed.contains(QLatin1String("CHECK")) && listed.contains(QLatin1String("ABORT")));
    QCOMPARE(forms.size(), verbs.size());
    for (int i = 0; i < verbs.size(); ++i)
        QVERIFY2(forms.at(i).startsWith(verbs.at(i)), qPrintable(forms.at(i)));
    for (const QString &spelling : ftpVerbSpellings())
        QVERIFY2(QRegularExpression(QStringLiteral("\\b%1\\b").arg(spelling))
                     .match(forms.join(QLatin1Char('\n')))
                     .hasMatch(),
                 qPrintable(spelling));
}

void TestTransferCommand::transferAddress_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("scheme"); // empty: no transfer address
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("ssh");
    QTest::addColumn<bool>("implicitTls");
    QTest::addColumn<QByteArray>("serverUrl");
    const auto row = [](const char *name, const char *url, const char *scheme, const char *host,
                        int port, bool ssh, bool implicitTls, const char *serverUrl) {
        QTest::newRow(name) << url << scheme << host << port << ssh << implicitTls
                            << QByteArray(serverUrl);
    };
    row("ftp", "FTP://www.harbour.example", "ftp", "www.harbour.example", 21, false, false,
        "ftp://www.harbour.example:21");
    row("ftps, its own port", "ftps://files.example", "ftps", "files.example", 990, false, true,
        "ftps://files.example:990");
    row("ftps, upper case, port, folder", "FTPS://127.0.0.1:2990/in", "ftps", "127.0.0.1", 2990,
        false, true, "ftps://127.0.0.1:2990");
    row("ftps, mixed case, IPv6", "FtpS://[::1]", "ftps", "::1", 990, false, true,
        "ftps://[::1]:990");
    row("sftp", "sftp://demo.localhost:2222", "sftp", "demo.localhost", 2222, true, false,
        "sftp://demo.localhost:2222");
    row("http", "http://a.example", "", "", 0, false, false, "");
    row("ftpes is not ftps", "ftpes://a.example", "", "", 0, false, false, "");
    row("ftps without a host", "ftps://", "", "", 0, false, false, "");
    row("no scheme", "harbour.example", "", "", 0, false, false, "");
}

void TestTransferCommand::transferAddress()
{
    QFETCH(QString, url);
    QFETCH(QString, scheme);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, ssh);
    QFETCH(bool, implicitTls);
    QFETCH(QByteArray, serverUrl);
    const std::optional<TransferAddress> address = ::transferAddress(url);
    QCOMPARE(address.has_value(), !scheme.isEmpty());
    if (!address)
        return;
    QCOMPARE(address->scheme, scheme);
    QCOMPARE(address->host, host);
    QCOMPARE(address->port, port);
    QCOMPARE(address->ssh, ssh);
    QCOMPARE(address->implicitTls, implicitTls);
    QCOMPARE(address->serverUrl(), serverUrl);
}

QTEST_APPLESS_MAIN(TestTransferCommand)
#include "tst_transfer_command.moc"
