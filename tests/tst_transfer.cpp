// The FTP component against a real FTP server (pyftpdlib) on loopback, over
// a temporary folder: what it reports, and what arrives on disk.
#include "transfer_run.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <stdexcept>

namespace {

QByteArray randomBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    for (char &byte : data)
        byte = char(generator.generate() & 0xff);
    return data;
}

} // namespace

class TestTransfer : public QObject, private PlainServerFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void uploadDownloadRoundTrip();
    void changeFolder();
    void refusalNamesWhatWasRefused();
    void listingReadInChunks();
    void chunksKeepUtf8Whole();
    void wrongPassword();
    void oncePerLogin();
    void cutDownloadKeepsLocalFile();
    void unusualNames();
    void commandWhileBusy();
    void refusedBeforeSending_data();
    void refusedBeforeSending();
    void missingLocalFile();
    void folderAndFileCommands();
    void failedLookupLeavesNothingBehind_data();
    void failedLookupLeavesNothingBehind();
};

void TestTransfer::initTestCase()
{
    QVERIFY2(startServer({"--cut", "cut.bin"}),
             "the FTP server did not start (python3-pyftpdlib?)");
}

void TestTransfer::init()
{
    renewLocalFolder();
}

void TestTransfer::uploadDownloadRoundTrip()
{
    const QByteArray data = randomBytes(3 * 1024 * 1024 + 17);
    QVERIFY(writeFile(localFile("sent.bin"), data));
    auto transfer = connectedTransfer();

    const Outcome up =
        run(*transfer, QStringLiteral("PUT %1 round.bin").arg(localFile("sent.bin")));
    QVERIFY(up.ok);
    QCOMPARE(readFile(serverPath("round.bin")), data);
    // A fresh login reports every step, and the operation ends exactly once, in success.
    const QList<TransferState> &states = up.states;
    using S = TransferState;
    for (S step : {S::ResolvingHost, S::HostResolved, S::Connecting, S::Connected, S::Requesting,
                   S::RequestSent, S::ReceivingResponse, S::ResponseReceived})
        QVERIFY2(states.contains(step), qPrintable(QString::number(int(step))));
    QCOMPARE(states.count(S::ResponseCompleted) + states.count(S::Error), 1);
    QCOMPARE(states.constLast(), S::ResponseCompleted);
    QCOMPARE(states.count(S::ReceivingResponse), 1);
    QCOMPARE(up.code, 226);

    const Outcome down =
        run(*transfer, QStringLiteral("get round.bin %1").arg(localFile("back.bin")));
    QVERIFY(down.ok);
    QCOMPARE(QCryptographicHash::hash(readFile(localFile("back.bin")), QCryptographicHash::Sha256),
             QCryptographicHash::hash(data, QCryptographicHash::Sha256));
    // The login is reused: no new connection.
    QVERIFY(!down.states.contains(S::ResolvingHost) && !down.states.contains(S::Connecting));

    // A download after an upload must not send the upload again (STOR).
    QCOMPARE(readFile(serverPath("round.bin")), data);
}

void TestTransfer::changeFolder()
{
    QVERIFY(QDir(m_serverRoot.path()).mkpath("docs/deep"));
    auto transfer = connectedTransfer();

    const Outcome missing = run(*transfer, QStringLiteral("CD nosuch"));
    QVERIFY(!missing.ok);
    QCOMPARE(missing.states.constLast(), TransferState::Error);
    QCOMPARE(missing.code, 550);
    QCOMPARE(transfer->currentFolder(), QString());

    QVERIFY(run(*transfer, QStringLiteral("CD docs")).ok);
    QVERIFY(run(*transfer, QStringLiteral("CD deep")).ok);
    QCOMPARE(transfer->currentFolder(), QStringLiteral("docs/deep"));
    QVERIFY(!run(*transfer, QStringLiteral("CD nosuch")).ok);
    QCOMPARE(transfer->currentFolder(), QStringLiteral("docs/deep"));
    QVERIFY(run(*transfer, QStringLiteral("CDUP")).ok);
    QCOMPARE(transfer->currentFolder(), QStringLiteral("docs"));
    QVERIFY(run(*transfer, QStringLiteral("CD /docs/deep")).ok);
    QCOMPARE(transfer->currentFolder(), QStringLiteral("/docs/deep"));

    // Relative names now resolve against the current folder.
    QVERIFY(writeFile(serverPath("docs/deep/here.txt"), "found"));
    QVERIFY(run(*transfer, QStringLiteral("GET here.txt")).ok);
    QCOMPARE(transfer->GetChunk(1024), QStringLiteral("found"));
}

void TestTransfer::refusalNamesWhatWasRefused()
{
    QVERIFY(QDir(m_serverRoot.path()).mkpath("up"));
    auto transfer = connectedTransfer();
    const Outcome missing = run(*transfer, QStringLiteral("GET up/nosuch.txt"));
    QVERIFY(!missing.ok);
    QCOMPARE(missing.code, 550);
    QVERIFY2(missing.info.startsWith(
                 QLatin1String("GET up/nosuch.txt: no such file on the server (550 ")),
             qPrintable(missing.info));
    // The refusal leaves the login standing, and its protection shown.
    QCOMPARE(missing.protections.size(), 1);
    QVERIFY(!missing.protections.first().isEmpty());

    // The next command starts with nothing of the last one's failure.
    const Outcome next = run(*transfer, QStringLiteral("PWD"));
    QVERIFY(next.ok);
    QVERIFY(!next.infos.isEmpty());
    QVERIFY2(next.infos.first() != missing.info, qPrintable(next.infos.first()));
    QCOMPARE(next.infos.count(missing.info), 0);
}

void TestTransfer::listingReadInChunks()
{
    QDir root(m_serverRoot.path());
    QVERIFY(root.mkpath("many"));
    QStringList names;
    for (int i = 0; i < 120; ++i) {
        names << QStringLiteral("file-number-%1.txt").arg(i, 3, 10, QLatin1Char('0'));
        QVERIFY(writeFile(serverPath("many/" + names.constLast()), "x"));
    }
    auto transfer = connectedTransfer();
    QVERIFY(run(*transfer, QStringLiteral("LS many")).ok);

    QString listing;
    int chunks = 0;
    for (QString chunk = transfer->GetChunk(1024); !chunk.isEmpty();
         chunk = transfer->GetChunk(1024)) {
        QVERIFY(chunk.toUtf8().size() <= 1024);
        listing += chunk;
        ++chunks;
    }
    QVERIFY(chunks > 2);
    QStringList listed =
        listing.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    listed.sort();
    QCOMPARE(listed, names);

    QVERIFY(run(*transfer, QStringLiteral("DIR many")).ok);
    QVERIFY(transfer->GetChunk(1024).contains(QLatin1String("file-number-")));
}

void TestTransfer::chunksKeepUtf8Whole()
{
    // Two-byte letters from an odd offset, so sequences straddle chunk ends,
    // and a last letter cut short.
    const QString text = QLatin1Char('a') + QString(1500, QChar(0x00e4));
    QVERIFY(writeFile(serverPath("umlauts.txt"), text.toUtf8() + "\xc3"));
    auto transfer = connectedTransfer();
    QVERIFY(run(*transfer, QStringLiteral("GET umlauts.txt")).ok);
    QString read;
    for (QString chunk = transfer->GetChunk(1024); !chunk.isEmpty();
         chunk = transfer->GetChunk(1024))
        read += chunk;
    QCOMPARE(read, text + QChar::ReplacementCharacter);
}

void TestTransfer::wrongPassword()
{
    const QString wrong = QStringLiteral("Wr0ngPass");
    QStringList logged;
    QtMessageHandler previous = qInstallMessageHandler(nullptr);
    static QStringList *sink = nullptr;
    sink = &logged;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
        sink->append(message);
    });
    QLoggingCategory::setFilterRules(QStringLiteral("sarvel.transfer.debug=true"));

    auto transfer = transferTo(m_server.port(), TestUser, wrong);
    const Outcome outcome = run(*transfer, QStringLiteral("DIR"));

    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states.constLast(), TransferState::Error);
    QCOMPARE(outcome.code, 530);
    QVERIFY(logged.join('\n').contains(QLatin1String("PASS ****")));
    QVERIFY(!outcome.shows(wrong));
    for (const QString &line : logged)
        QVERIFY2(!line.contains(wrong), qPrintable(line));
}

// UTF-8 names are announced, and the protection shown, once for each login:
// not again for operations that reuse it, and again after CLOSE.
void TestTransfer::oncePerLogin()
{
    const auto announced = [this] { return m_server.commandsReceived().count("OPTS UTF8 ON"); };
    const qsizetype before = announced();
    auto transfer = connectedTransfer();
    const Outcome first = run(*transfer, QStringLiteral("PWD"));
    QVERIFY(first.ok);
    QCOMPARE(first.protections, QStringList{"not encrypted"});
    for (const QString operation : {"DIR", "PWD", "LS"}) {
        const Outcome reused = run(*transfer, operation);
        QVERIFY(reused.ok && reused.protections.isEmpty());
    }
    QCOMPARE(announced() - before, 1);

    const Outcome closed = run(*transfer, QStringLiteral("CLOSE"));
    QCOMPARE(closed.protections, QStringList{QString()});
    QCOMPARE(run(*transfer, QStringLiteral("PWD")).protections, QStringList{"not encrypted"});
    QCOMPARE(announced() - before, 2);
}

void TestTransfer::cutDownloadKeepsLocalFile()
{
    QVERIFY(writeFile(serverPath("cut.bin"), randomBytes(4 * 1024 * 1024)));
    QVERIFY(writeFile(localFile("keep.bin"), "precious"));
    auto transfer = connectedTransfer();
    const Outcome outcome =
        run(*transfer, QStringLiteral("GET cut.bin %1").arg(localFile("keep.bin")));
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.states.constLast(), TransferState::Error);
    QCOMPARE(readFile(localFile("keep.bin")), QByteArray("precious"));
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.bin"});

    // A cut download into a new name leaves nothing behind either.
    QVERIFY(!run(*transfer, QStringLiteral("GET cut.bin %1").arg(localFile("new.bin"))).ok);
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.bin"});
}

void TestTransfer::unusualNames()
{
    const QString remote = QStringLiteral("Grüße #1 50% ?.txt");
    QVERIFY(writeFile(localFile("a b.txt"), "spaced out"));
    QVERIFY(QDir(m_serverRoot.path()).mkpath(QStringLiteral("Ordner mit Ä")));
    auto transfer = connectedTransfer();

    QVERIFY(run(*transfer, QStringLiteral("CD \"Ordner mit Ä\"")).ok);
    QVERIFY(
        run(*transfer, QStringLiteral("PUT \"%1\" \"%2\"").arg(localFile("a b.txt"), remote)).ok);
    QCOMPARE(readFile(serverPath(QStringLiteral("Ordner mit Ä/") + remote)),
             QByteArray("spaced out"));

    QVERIFY(run(*transfer, QStringLiteral("LS")).ok);
    QCOMPARE(transfer->GetChunk(1024).trimmed(), remote);

    QVERIFY(run(*transfer, QStringLiteral("GET \"%1\" \"%2\"").arg(remote, localFile("é back.txt")))
                .ok);
    QCOMPARE(readFile(localFile("é back.txt")), QByteArray("spaced out"));
}

void TestTransfer::commandWhileBusy()
{
    const QByteArray data = randomBytes(8 * 1024 * 1024);
    QVERIFY(writeFile(serverPath("big.bin"), data));
    auto transfer = connectedTransfer();
    QSignalSpy finished(transfer.get(), &TransferComponent::finished);
    transfer->Execute(QStringLiteral("GET big.bin %1").arg(localFile("big.bin")));
    QVERIFY(transfer->StillExecuting());
    try {
        transfer->Execute(QStringLiteral("DELETE big.bin"));
        QFAIL("a second command was accepted while the first ran");
    } catch (const std::runtime_error &error) {
        QVERIFY(QString::fromUtf8(error.what())
                    .contains(QLatin1String("till executing the last request")));
    }
    QVERIFY(finished.wait(30000));
    QVERIFY(finished.first().first().toBool());
    QCOMPARE(readFile(localFile("big.bin")), data);
    QVERIFY(QFile::exists(serverPath("big.bin")));
}

void TestTransfer::refusedBeforeSending_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("siteSet");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown verb") << "FETCH a" << true << "Verbs: (RE)GET,(RE)PUT,CD";
    QTest::newRow("cd without folder") << "CD " << true << "needs a folder name";
    QTest::newRow("line break in name") << "DELETE a\r\nRMD /" << true << "line break";
    QTest::newRow("no site yet") << "DIR" << false << "No site chosen";
}

void TestTransfer::refusedBeforeSending()
{
    QFETCH(QString, operation);
    QFETCH(bool, siteSet);
    QFETCH(QString, message);
    auto transfer = siteSet ? connectedTransfer() : std::make_unique<CurlTransfer>();
    QSignalSpy states(transfer.get(), &TransferComponent::StateChanged);
    try {
        transfer->Execute(operation);
        QFAIL("accepted");
    } catch (const std::runtime_error &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(message), error.what());
    }
    QVERIFY(!transfer->StillExecuting());
    QTest::qWait(100);
    QCOMPARE(states.count(), 0);
}

void TestTransfer::missingLocalFile()
{
    auto transfer = connectedTransfer();
    const QString missing = localFile("absent.bin");
    const Outcome put = run(*transfer, QStringLiteral("PUT %1").arg(missing));
    QVERIFY(!put.ok);
    QCOMPARE(put.states, QList<TransferState>{TransferState::Error});
    QVERIFY(put.info.contains(missing));
    QVERIFY(!QFile::exists(serverPath("absent.bin")));

    const Outcome get =
        run(*transfer, QStringLiteral("GET x %1").arg(localFile("no/such/folder/x")));
    QCOMPARE(get.states, QList<TransferState>{TransferState::Error});
    QVERIFY(get.info.contains(QLatin1String("no/such/folder")));
}

void TestTransfer::folderAndFileCommands()
{
    QVERIFY(writeFile(localFile("f.txt"), "12345"));
    auto transfer = connectedTransfer();
    QVERIFY(run(*transfer, QStringLiteral("MKDIR made")).ok);
    QVERIFY(QFileInfo(serverPath("made")).isDir());
    QVERIFY(run(*transfer, QStringLiteral("CD made")).ok);
    QVERIFY(run(*transfer, QStringLiteral("PWD")).ok);
    QCOMPARE(transfer->GetChunk(1024), QStringLiteral("/made"));
    QVERIFY(run(*transfer, QStringLiteral("PUT %1").arg(localFile("f.txt"))).ok);
    QVERIFY(run(*transfer, QStringLiteral("SIZE f.txt")).ok);
    QCOMPARE(transfer->GetChunk(1024), QStringLiteral("5"));
    QVERIFY(run(*transfer, QStringLiteral("RENAME f.txt g.txt")).ok);
    QVERIFY(QFile::exists(serverPath("made/g.txt")) && !QFile::exists(serverPath("made/f.txt")));
    QVERIFY(run(*transfer, QStringLiteral("DELETE g.txt")).ok);
    QVERIFY(!QFile::exists(serverPath("made/g.txt")));
    QVERIFY(run(*transfer, QStringLiteral("CDUP")).ok);
    QVERIFY(run(*transfer, QStringLiteral("RMDIR made")).ok);
    QVERIFY(!QFileInfo::exists(serverPath("made")));

    const Outcome gone = run(*transfer, QStringLiteral("DELETE made"));
    QVERIFY(!gone.ok);
    QCOMPARE(gone.code, 550);

    const Outcome closed = run(*transfer, QStringLiteral("CLOSE"));
    QVERIFY(closed.ok);
    QCOMPARE(closed.states,
             (QList<TransferState>{TransferState::Disconnecting, TransferState::Disconnected,
                                   TransferState::ResponseCompleted}));
    // The next operation logs in again.
    const Outcome again = run(*transfer, QStringLiteral("PWD"));
    QVERIFY(again.ok && again.states.contains(TransferState::ResolvingHost));
}

QTEST_GUILESS_MAIN(TestTransfer)
// A site whose name does not resolve (a typo; an address left empty, which
// the host-prefix rule makes "www.") fails on its own: the next commands on
// a good site run as if it had never been.
void TestTransfer::failedLookupLeavesNothingBehind_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("command");
    QTest::newRow("no such host") << "FTP://no-such-host.invalid"
                                  << "PWD";
    QTest::newRow("empty address") << "FTP://www."
                                   << "DIR";
    QTest::newRow("check on no such host") << "FTP://no-such-host.invalid"
                                           << "CHECK";
}

void TestTransfer::failedLookupLeavesNothingBehind()
{
    QFETCH(QString, url);
    QFETCH(QString, command);
    const CapturedMessages messages;
    auto transfer = connectedTransfer();
    const QString good = transfer->URL();
    QVERIFY(run(*transfer, QStringLiteral("PWD")).ok);

    transfer->setURL(url);
    const Outcome lost = run(*transfer, command);
    QVERIFY(!lost.ok);
    QCOMPARE(lost.states.constLast(), TransferState::Error);

    transfer->setURL(good);
    for (const QString &again : {QStringLiteral("PWD"), QStringLiteral("DIR")}) {
        const Outcome outcome = run(*transfer, again);
        QVERIFY2(outcome.ok, qPrintable(again + ": " + outcome.info));
        QCOMPARE(outcome.states.constLast(), TransferState::ResponseCompleted);
    }
    QVERIFY2(!messages.text().contains(QLatin1String("QSocketNotifier")),
             qPrintable(messages.text()));
}

#include "tst_transfer.moc"
