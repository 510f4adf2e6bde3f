// The console's side of a transfer, driven as an operator would with a fake
// transfer component: the buttons, the states and replies it shows, progress,
// the photo listing, the trust questions, the protection indicator and
// stopping with Escape.
#include "console_fixture.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

namespace {

TrustQuestion sampleCertificate()
{
    TrustQuestion question;
    question.kind = TrustQuestion::Kind::Certificate;
    question.host = QStringLiteral("files.example.org");
    question.port = 990;
    question.reason = QStringLiteral("SSL certificate problem: self-signed certificate");
    question.subject = QStringLiteral("CN=files.example.org,O=Example");
    question.issuer = QStringLiteral("CN=Example Private CA");
    question.notBefore = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    question.notAfter = QDateTime(QDate(2027, 6, 30), QTime(23, 59, 58), Qt::UTC);
    question.fingerprint = QStringLiteral("AB:CD:EF:01:23:45:67:89");
    return question;
}

} // namespace

class TestConsoleTransfer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void transferButtons();
    void getChunkReplaces();
    void stateDisplay_data();
    void stateDisplay();
    void stateReportsWhileProcessingEvents();
    void statusLog();
    void transferProgress();
    void photoListing_data();
    void photoListing();
    void certificateQuestion_data();
    void certificateQuestion();
    void hostKeyQuestion();
    void clearTextQuestion();
    void protectionIndicator();
    void escapeStops_data();
    void escapeStops();
    void escapeWhenIdle();
    void failureClearedByNextOperation();
};

void TestConsoleTransfer::transferButtons()
{
    Console console;
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);
    console.ui().TxtFTPCommand->setText(QStringLiteral("GET \"my file.txt\" c:\\temp\\x.txt"));
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);

    console.prompt->answers.enqueue(QStringLiteral("pub/docs "));
    QTest::mouseClick(console.ui().ComCDWWW, Qt::LeftButton);
    console.prompt->answers.enqueue(QString()); // Cancel
    QTest::mouseClick(console.ui().ComCDWWW, Qt::LeftButton);

    QCOMPARE(console.inet->executed,
             (QStringList{"put c:\\tolvar\\vorltest.blm vorltest.blm",
                          "GET \"my file.txt\" c:\\temp\\x.txt", "CD pub/docs ", "CD "}));
    QCOMPARE(console.prompt->asked.at(0).prompt, QStringLiteral("Folder name:"));
    QCOMPARE(console.prompt->asked.at(0).title, QStringLiteral("Select folder to change to"));
}

void TestConsoleTransfer::getChunkReplaces()
{
    Console console;
    console.inet->chunks << QStringLiteral("first\r\nchunk")
                         << QStringLiteral("line one\r\nline two");
    QTest::mouseClick(console.ui().ComGetChunk, Qt::LeftButton);
    QCOMPARE(console.statusBox(), QStringLiteral("first\r\nchunk"));
    QTest::mouseClick(console.ui().ComGetChunk, Qt::LeftButton);
    QCOMPARE(console.statusBox(), QStringLiteral("line one\r\nline two"));
    QCOMPARE(console.inet->chunkSizes, (QList<int>{1024, 1024}));
    // All read: the box is emptied, as the retrieved data has no more.
    QTest::mouseClick(console.ui().ComGetChunk, Qt::LeftButton);
    QCOMPARE(console.statusBox(), QString());
}

void TestConsoleTransfer::stateDisplay_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("info");
    QTest::addColumn<QString>("stateText");
    QTest::addColumn<QString>("codeText");
    QTest::newRow("zero") << 0 << 0 << QString() << "0"
                          << "0";
    QTest::newRow("reply") << 8 << 226 << "226 Transfer complete."
                           << "8"
                           << "226";
    QTest::newRow("negative") << -3 << -1 << "odd"
                              << "-3"
                              << "-1";
    QTest::newRow("largest code") << 12 << 2147483647 << "x"
                                  << "12"
                                  << "2147483647";
    QTest::newRow("multi-line reply") << 8 << 230 << "230-Welcome\r\n230 Login successful."
                                      << "8"
                                      << "230";
}

void TestConsoleTransfer::stateDisplay()
{
    QFETCH(int, state);
    QFETCH(int, code);
    QFETCH(QString, info);
    QFETCH(QString, stateText);
    QFETCH(QString, codeText);
    Console console;
    QCOMPARE(console.ui().TxtInetState->text(), QStringLiteral("Inet State"));
    QCOMPARE(boxText(console.ui().TxtInetResponse), QStringLiteral("Inet Response Info\r\n"));

    console.inet->report(1, 100, QStringLiteral("earlier"));
    console.inet->report(qint16(state), code, info);
    QCOMPARE(console.ui().TxtInetState->text(), stateText);
    QCOMPARE(console.ui().TxtInetRespCode->text(), codeText);
    QCOMPARE(boxText(console.ui().TxtInetResponse), info);
}

void TestConsoleTransfer::stateReportsWhileProcessingEvents()
{
    Console console;
    // Each report queues the next one; the handler's pending-event processing
    // delivers them while earlier handlers are still running.
    int sent = 1;
    const int last = 3000;
    connect(
        console.inet, &TransferComponent::StateChanged, console.inet,
        [&] {
            if (sent < last) {
                ++sent;
                console.inet->report(qint16(sent % 13), sent, QStringLiteral("reply %1").arg(sent));
            }
        },
        Qt::QueuedConnection);
    console.inet->report(1, 1, QStringLiteral("reply 1"));
    QTRY_COMPARE(sent, last);
    QCoreApplication::processEvents();
    QCOMPARE(console.ui().TxtInetState->text(), QString::number(last % 13));
    QCOMPARE(console.ui().TxtInetRespCode->text(), QString::number(last));
    QCOMPARE(boxText(console.ui().TxtInetResponse), QStringLiteral("reply %1").arg(last));
}

void TestConsoleTransfer::statusLog()
{
    Console console;
    Q_EMIT console.pane->statusTextChange(QStringLiteral("Opening page"));
    QCOMPARE(console.statusBox(), QStringLiteral("Browser Status\r\nOpening page"));
    Q_EMIT console.pane->statusTextChange(QString());
    Q_EMIT console.pane->statusTextChange(QStringLiteral("Done"));
    QCOMPARE(console.statusBox(), QStringLiteral("Browser Status\r\nOpening page\r\n\r\nDone"));

    // After Get Chunk has replaced the text, the log continues below it.
    console.inet->chunks << QStringLiteral("chunk\r\ntext");
    QTest::mouseClick(console.ui().ComGetChunk, Qt::LeftButton);
    Q_EMIT console.pane->statusTextChange(QStringLiteral("next"));
    QCOMPARE(console.statusBox(), QStringLiteral("chunk\r\ntext\r\nnext"));

    console.ui().TxtBrowseTo->clear();
    QTest::mouseClick(console.ui().ComBrowse, Qt::LeftButton);
    QCOMPARE(console.pane->navigations, QStringList{QString()});
}

void TestConsoleTransfer::transferProgress()
{
    Console console;
    QVERIFY(console.showActive());
    auto *bar = console.window->statusBar()->findChild<QProgressBar *>();
    QVERIFY(bar && bar->isHidden());
    Q_EMIT console.inet->progressChanged(3 << 20, 12 << 20);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->value(), 25);
    Q_EMIT console.inet->progressChanged(4 << 20, -1); // total unknown
    QCOMPARE(bar->maximum(), 0);
    Q_EMIT console.inet->finished(true);
    QVERIFY(bar->isHidden());
}

void TestConsoleTransfer::photoListing_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected"); // null: box untouched

    QTest::newRow("none") << QStringList{"a_12.jpg", "b.jpg"} << QString();
    QTest::newRow("one") << QStringList{"beach_1.jpg"} << "beach_1.jpg\r\n";
    QTest::newRow("case and order")
        << QStringList{"zoo_9.jpg", "IMG_2.JPG", "a_1.jpg", "b_12.jpg", "c_1.jpeg", "_x.jpg"}
        << "_x.jpg\r\na_1.jpg\r\nIMG_2.JPG\r\nzoo_9.jpg\r\n";
    QTest::newRow("folders and hidden files")
        << QStringList{"dir_3.jpg/", ".hidden_4.jpg", "real_5.jpg"} << "real_5.jpg\r\n";
}

void TestConsoleTransfer::photoListing()
{
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    Console console;
    for (const QString &name : files) {
        if (name.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir(console.photos.path()).mkdir(name.chopped(1)));
        } else {
            QFile file(console.photos.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }
    QTest::mouseClick(console.ui().Command1, Qt::LeftButton);
    QCOMPARE(console.statusBox(), expected.isNull() ? QStringLiteral("Browser Status") : expected);
    QVERIFY(console.statusMessage().isEmpty());
}

void TestConsoleTransfer::certificateQuestion_data()
{
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("answer");
    QTest::newRow("trusted") << false << true;
    QTest::newRow("refused") << false << false;
    QTest::newRow("changed since trusted") << true << false;
}

void TestConsoleTransfer::certificateQuestion()
{
    QFETCH(bool, changed);
    QFETCH(bool, answer);
    Console console;
    TrustQuestion question = sampleCertificate();
    question.changed = changed;
    console.prompt->confirmations << answer;
    Q_EMIT console.inet->trustQuestion(question);

    QCOMPARE(console.prompt->confirmed.size(), 1);
    QCOMPARE(console.prompt->confirmed.first().question,
             QStringLiteral("Trust this certificate for this session?"));
    const QString details = console.prompt->confirmed.first().details;
    for (const QString &part :
         {QStringLiteral("files.example.org:990"), QStringLiteral("self-signed"), question.subject,
          question.issuer, QStringLiteral("2026-01-02 03:04:05"),
          QStringLiteral("2027-06-30 23:59:58"), question.fingerprint})
        QVERIFY2(details.contains(part), qPrintable(part));
    // A changed certificate is said first, before anything else is read.
    QCOMPARE(details.section(QLatin1Char('\n'), 0, 0).contains(QLatin1String("changed")), changed);
    QCOMPARE(console.inet->trustAnswers, QList<bool>{answer});
}

void TestConsoleTransfer::hostKeyQuestion()
{
    Console console;
    TrustQuestion question;
    question.kind = TrustQuestion::Kind::HostKey;
    question.host = QStringLiteral("demo.localhost");
    question.port = 2222;
    question.keyType = QStringLiteral("ssh-ed25519");
    question.fingerprint = QStringLiteral("SHA256:dKDO/EosY/T4GM8dYKKtLo8DBHvsAZ/YooI9hC7pmrk");
    console.prompt->confirmations << false;
    Q_EMIT console.inet->trustQuestion(question);

    QCOMPARE(console.prompt->confirmed.size(), 1);
    QCOMPARE(console.prompt->confirmed.first().question,
             QStringLiteral("Trust this host key for this session?"));
    const QString details = console.prompt->confirmed.first().details;
    for (const QString &part :
         {QStringLiteral("demo.localhost:2222"), question.keyType, question.fingerprint})
        QVERIFY2(details.contains(part), qPrintable(part));
    QCOMPARE(console.inet->trustAnswers, QList<bool>{false});
}

void TestConsoleTransfer::clearTextQuestion()
{
    Console console;
    TrustQuestion question;
    question.kind = TrustQuestion::Kind::ClearText;
    question.host = QStringLiteral("demo.localhost");
    question.port = 2121;
    console.prompt->confirmations << true;
    Q_EMIT console.inet->trustQuestion(question);

    QCOMPARE(console.prompt->confirmed.size(), 1);
    QCOMPARE(console.prompt->confirmed.first().question,
             QStringLiteral("demo.localhost does not offer encryption. Send the account name and "
                            "password in clear text?"));
    QCOMPARE(console.inet->trustAnswers, QList<bool>{true});
}

void TestConsoleTransfer::protectionIndicator()
{
    Console console;
    QVERIFY(console.showActive());
    auto *indicator =
        console.window->statusBar()->findChild<QLabel *>(QStringLiteral("Protection"));
    QVERIFY(indicator && indicator->isHidden());
    Q_EMIT console.inet->protectionChanged(QStringLiteral("TLS 1.3"));
    QVERIFY(indicator->isVisible());
    QCOMPARE(indicator->text(), QStringLiteral("TLS 1.3"));
    // A temporary message in the status bar does not hide it.
    console.window->statusBar()->showMessage(QStringLiteral("Unknown FTP command"));
    QVERIFY(indicator->isVisible());
    Q_EMIT console.inet->protectionChanged(QStringLiteral("not encrypted"));
    QCOMPARE(indicator->text(), QStringLiteral("not encrypted"));
    Q_EMIT console.inet->protectionChanged(QString()); // logged out
    QVERIFY(indicator->isHidden());
}

void TestConsoleTransfer::escapeStops_data()
{
    QTest::addColumn<int>("row");
    for (int row = 0; row < int(FmInternetControls.size()); ++row)
        if (FmInternetControls[row].kind() != ControlKind::Label)
            QTest::newRow(FmInternetControls[row].name) << row;
}

void TestConsoleTransfer::escapeStops()
{
    QFETCH(int, row);
    Console console;
    QVERIFY(console.showActive());
    QWidget *control = FmInternetControls[row].member.widget(console.ui());
    control->setFocus(Qt::TabFocusReason);
    QVERIFY(hasFocusWithin(control));
    console.window->statusBar()->showMessage(QStringLiteral("Still executing the last request"));
    console.inet->executing = true;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(console.inet->executed, QStringList{"ABORT"});
    QVERIFY(console.statusMessage().isEmpty());
}

void TestConsoleTransfer::escapeWhenIdle()
{
    Console console;
    QVERIFY(console.showActive());
    console.ui().TxtFTPCommand->setFocus();
    QTest::keyClick(console.ui().TxtFTPCommand, Qt::Key_Escape);
    QVERIFY(console.inet->executed.isEmpty());
    QVERIFY(console.statusMessage().isEmpty());
    QCOMPARE(console.ui().TxtFTPCommand->text(),
             QStringLiteral("put c:\\tolvar\\vorltest.blm vorltest.blm"));
}

void TestConsoleTransfer::failureClearedByNextOperation()
{
    Console console;
    console.inet->failure = QStringLiteral("Unknown FTP command \"FROB\"");
    console.ui().TxtFTPCommand->setText(QStringLiteral("FROB x"));
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);
    QCOMPARE(console.statusMessage(), console.inet->failure);

    // A refusal of the next click replaces the message...
    console.inet->failure = QStringLiteral("Still executing the last request");
    console.prompt->answers << QStringLiteral("pub");
    QTest::mouseClick(console.ui().ComCDWWW, Qt::LeftButton);
    QCOMPARE(console.statusMessage(), console.inet->failure);

    // ...and an accepted command clears it.
    console.inet->failure.clear();
    console.ui().TxtFTPCommand->setText(QStringLiteral("PWD"));
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);
    QCOMPARE(console.inet->executed, QStringList{"PWD"});
    QVERIFY(console.statusMessage().isEmpty());
}

QTEST_MAIN(TestConsoleTransfer)
#include "tst_console_transfer.moc"
