// The console window driven as an operator would, with fakes at its seams:
// the transfer component, the browser pane and the text prompt.
#include "console_fixture.h"
#include "control_table.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QSet>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

QString controlText(const QWidget *widget)
{
    if (auto *button = qobject_cast<const QPushButton *>(widget))
        return button->text();
    if (auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->text();
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *box = qobject_cast<const QPlainTextEdit *>(widget))
        return boxText(box);
    if (auto *combo = qobject_cast<const QComboBox *>(widget))
        return combo->currentText();
    return QString();
}

// Whether the whole caption of a label or button shows: a label's anywhere in
// its rectangle, a button's inside the content area the style leaves within
// its frame. Other controls have no caption to fit.
bool captionFits(const QWidget *widget)
{
    QRect room = widget->contentsRect();
    QString caption;
    if (auto *label = qobject_cast<const QLabel *>(widget)) {
        caption = label->text();
    } else if (auto *button = qobject_cast<const QPushButton *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        caption = button->text();
    } else {
        return true;
    }
    const QFontMetrics metrics(widget->font());
    return metrics.horizontalAdvance(caption) <= room.width() && metrics.height() <= room.height();
}

QStringList clippedCaptions(const FmInternetUi &ui)
{
    QStringList clipped;
    for (const ControlSpec &spec : FmInternetControls)
        if (!captionFits(spec.member.widget(ui)))
            clipped << QLatin1String(spec.name);
    return clipped;
}

// Whether the keyboard focus is on `control` or a part of it.
bool hasFocusWithin(const QWidget *control)
{
    for (const QWidget *widget = QApplication::focusWidget(); widget;
         widget = widget->parentWidget())
        if (widget == control)
            return true;
    return false;
}

TrustQuestion sampleCertificate()
{
    TrustQuestion question;
    question.kind = TrustQuestion::Kind::Certificate;
    question.host = QStringLiteral("files.example.org");
    question.port = 990;
    question.reason = QStringLiteral("self-signed certificate");
    question.subject = QStringLiteral("CN=files.example.org,O=Example");
    question.issuer = QStringLiteral("CN=Example Private CA");
    question.notBefore = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    question.notAfter = QDateTime(QDate(2027, 6, 30), QTime(23, 59, 58), Qt::UTC);
    question.fingerprint = QStringLiteral("AB:CD:EF:01:23:45:67:89");
    return question;
}

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startupControls_data();
    void startupControls();
    void startupState();
    void captionsFit();
    void accessibleNames();
    void tabOrder();
    void failureKeepsProgramRunning();
    void siteSelection_data();
    void siteSelection();
    void siteAppliedBeforeButtonClick();
    void siteSelectionTwice();
    void typedSiteTextChoosesNothing();
    void emptyFreeSlot();
    void addSite();
    void addedSiteWithScheme_data();
    void addedSiteWithScheme();
    void addSiteCancelled();
    void addSiteWhenFull();
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

void TestConsole::startupControls_data()
{
    QTest::addColumn<int>("row");
    for (int row = 0; row < int(FmInternetControls.size()); ++row)
        QTest::newRow(FmInternetControls[row].name) << row;
}

void TestConsole::startupControls()
{
    QFETCH(int, row);
    const ControlSpec &spec = FmInternetControls[row];
    Console console;
    QWidget *widget = spec.member.widget(console.ui());
    QVERIFY(widget);
    QCOMPARE(widget, console.window->findChild<QWidget *>(QLatin1String(spec.name)));
    QCOMPARE(controlText(widget), QString::fromLatin1(spec.text));
    QCOMPARE(widget->geometry(), QRect(spec.left / TwipsPerPixel, spec.top / TwipsPerPixel,
                                       spec.width / TwipsPerPixel, spec.height / TwipsPerPixel));
    QCOMPARE(widget->toolTip().isEmpty(), widget != console.ui().TxtFTPCommand);
}

void TestConsole::startupState()
{
    Console console;
    QVERIFY(console.showActive());
    QCOMPARE(console.window->windowTitle(), QStringLiteral("Sarvel"));
    QCOMPARE(QApplication::focusWidget(), console.ui().ComAddSite);
    QCOMPARE(console.ui().TxtFTPCommand->toolTip(),
             QStringLiteral("e.g. GET 14JUN992.HTM c:\\temp\\Monday or PUT D:\\Tolvar\\Help.chm "
                            "TolvarHelp.chm"));

    QComboBox *combo = console.ui().Combo1;
    QCOMPARE(combo->count(), 11);
    for (int slot = 0; slot < 11; ++slot)
        QCOMPARE(combo->itemText(slot), SiteDirectory::presets()[slot].label);
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(combo->currentText(), QStringLiteral("Combo1"));
    for (int slot = 11; slot <= 20; ++slot)
        QVERIFY(console.window->sites().SiteLabel(slot).isEmpty() &&
                console.window->sites().SiteAddress(slot).isEmpty());
    QVERIFY(console.inet->calls.isEmpty());

    // The window opens large enough to show every control on this screen.
    auto *scroller = console.window->findChild<QScrollArea *>();
    QVERIFY(scroller->viewport()->width() >= scroller->widget()->width());
    QVERIFY(scroller->viewport()->height() >= scroller->widget()->height());
}

void TestConsole::captionsFit()
{
    Console console;
    QVERIFY(console.showActive());
    const QFont font = console.window->font();
    QCOMPARE(font.family(), QApplication::font().family());
    QVERIFY(font.pointSizeF() <= 8);
    QCOMPARE(clippedCaptions(console.ui()), QStringList());

    // Below the designed size only as far as needed: the next half point up
    // clips some caption.
    if (font.pointSizeF() < 8) {
        QFont larger = font;
        larger.setPointSizeF(font.pointSizeF() + 0.5);
        console.window->setFont(larger);
        QVERIFY(!clippedCaptions(console.ui()).isEmpty());
    }
}

void TestConsole::accessibleNames()
{
    Console console;
    QSet<QString> names;
    for (const ControlSpec &spec : FmInternetControls) {
        const QString name = spec.member.widget(console.ui())->accessibleName();
        QVERIFY2(!name.isEmpty(), spec.name);
        QVERIFY2(!names.contains(name), qPrintable(name));
        names.insert(name);
    }
    QCOMPARE(console.ui().TxtInetRespCode->accessibleName(), QStringLiteral("Inet Response Code"));
}

void TestConsole::tabOrder()
{
    Console console;
    QVERIFY(console.showActive());
    // Every control that takes the focus, by its place in the designed order.
    std::vector<const ControlSpec *> specs;
    for (const ControlSpec &spec : FmInternetControls)
        if (spec.member.widget(console.ui())->focusPolicy() != Qt::NoFocus)
            specs.push_back(&spec);
    std::sort(specs.begin(), specs.end(),
              [](const ControlSpec *a, const ControlSpec *b) { return a->tabIndex < b->tabIndex; });
    QStringList expected;
    for (const ControlSpec *spec : specs)
        expected << QLatin1String(spec->name);
    expected << expected.first(); // and round again

    QCOMPARE(expected.first(), QStringLiteral("ComAddSite"));
    QStringList seen = {QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, expected);
}

void TestConsole::failureKeepsProgramRunning()
{
    Console console;
    QVERIFY(console.showActive());
    // Leaving the site list with no entry chosen fails before anything changes.
    console.ui().Combo1->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(console.ui().Combo1, Qt::Key_Tab);
    QCOMPARE(console.statusMessage(), QStringLiteral("Subscript out of range"));
    QCOMPARE(console.ui().TxtBrowseTo->text(), QStringLiteral("www.sarvel.example/fileread.asp"));
    QVERIFY(console.inet->calls.isEmpty());

    // The console goes on: the next handler runs as usual.
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);
    QCOMPARE(console.inet->executed, QStringList{"put c:\\tolvar\\vorltest.blm vorltest.blm"});

    console.inet->failure = QStringLiteral("Still executing the last request");
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);
    QCOMPARE(console.statusMessage(), console.inet->failure);
    QVERIFY(console.window->isVisible());
}

void TestConsole::siteSelection_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("browseTo");
    QTest::newRow("bare domain") << 0 << "www.harbourbooks.example";
    QTest::newRow("ftp host") << 4 << "ftp.quarrymuseum.example";
    QTest::newRow("account named like the host") << 5 << "www.choir.example";
    QTest::newRow("three-letter label") << 7 << "web.willowkennels.example";
    QTest::newRow("four-letter label, demo") << 8 << "demo.localhost:2121";
    QTest::newRow("last preset") << 10 << "www.copperkettle.example.com";
}

void TestConsole::siteSelection()
{
    QFETCH(int, position);
    QFETCH(QString, browseTo);
    Console console;
    QVERIFY(console.showActive());
    console.chooseSite(position);

    const auto &preset = SiteDirectory::presets()[position];
    QCOMPARE(console.ui().TxtBrowseTo->text(), browseTo);
    QCOMPARE(console.inet->url, QStringLiteral("FTP://") + browseTo);
    QCOMPARE(console.inet->user, preset.user);
    QCOMPARE(console.inet->password, preset.password);
    QCOMPARE(console.inet->calls, (QStringList{"URL", "UserName", "Password"}));
    QVERIFY(console.statusMessage().isEmpty());
}

void TestConsole::siteAppliedBeforeButtonClick()
{
    Console console;
    QVERIFY(console.showActive());
    console.ui().Combo1->setFocus(Qt::MouseFocusReason);
    console.ui().Combo1->setCurrentIndex(8);
    // The click moves the focus first, so the site is set up before the command runs.
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);
    QCOMPARE(console.inet->calls, (QStringList{"URL", "UserName", "Password", "Execute"}));
    QCOMPARE(console.inet->url, QStringLiteral("FTP://demo.localhost:2121"));
}

void TestConsole::siteSelectionTwice()
{
    Console console;
    QVERIFY(console.showActive());
    console.chooseSite(1);
    console.chooseSite(1);
    QCOMPARE(console.inet->calls.size(), 6);
    QCOMPARE(console.ui().TxtBrowseTo->text(), QStringLiteral("www.lanternstudio.example"));
}

void TestConsole::typedSiteTextChoosesNothing()
{
    Console console;
    QVERIFY(console.showActive());
    console.chooseSite(2);
    const QString before = console.ui().TxtBrowseTo->text();
    console.inet->calls.clear();

    console.ui().Combo1->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(console.ui().Combo1, QStringLiteral("x"));
    QTest::keyClick(console.ui().Combo1, Qt::Key_Tab);
    QCOMPARE(console.statusMessage(), QStringLiteral("Subscript out of range"));
    QCOMPARE(console.ui().TxtBrowseTo->text(), before);
    QVERIFY(console.inet->calls.isEmpty());

    // Opening the drop-down does not count as leaving the list.
    console.ui().Combo1->setFocus(Qt::MouseFocusReason);
    console.ui().Combo1->setCurrentIndex(3);
    console.ui().Combo1->showPopup();
    QTRY_VERIFY(console.ui().Combo1->view()->isVisible());
    QVERIFY(console.inet->calls.isEmpty());
    console.ui().Combo1->hidePopup();
}

void TestConsole::emptyFreeSlot()
{
    Console console;
    QVERIFY(console.showActive());
    console.addSite({});
    console.chooseSite(11);
    QCOMPARE(console.ui().TxtBrowseTo->text(), QStringLiteral("www."));
    QCOMPARE(console.inet->url, QStringLiteral("FTP://www."));
    QCOMPARE(console.inet->user, QString());
}

void TestConsole::addSite()
{
    Console console;
    QVERIFY(console.showActive());
    console.addSite({"Night Owl", "ftp.nightowl.example", "owl", "s3cret"});

    const QStringList prompts = {
        "Site Label:", "Site address [without www.]:", "User name:", "Password:"};
    QCOMPARE(console.prompt->asked.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const auto &asked = console.prompt->asked.at(i);
        QCOMPARE(asked.prompt, prompts.at(i));
        QVERIFY(asked.title.isEmpty());
        // The password is not shown while it is typed.
        QCOMPARE(asked.echo == TextPrompt::Echo::Hidden, i == 3);
    }
    QCOMPARE(console.ui().Combo1->count(), 12);
    QCOMPARE(console.ui().Combo1->itemText(11), QStringLiteral("Night Owl"));

    console.chooseSite(11);
    QCOMPARE(console.ui().TxtBrowseTo->text(), QStringLiteral("ftp.nightowl.example"));
    QCOMPARE(console.inet->user, QStringLiteral("owl"));
    QCOMPARE(console.inet->password, QStringLiteral("s3cret"));
}

void TestConsole::addedSiteWithScheme_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("sftp") << "sftp://demo.localhost:2222";
    QTest::newRow("sftp, upper case") << "SFTP://files.example";
    QTest::newRow("ftp") << "ftp://abcde.example";
}

void TestConsole::addedSiteWithScheme()
{
    // Written with its scheme, the address is both what the box shows and
    // the transfer URL.
    QFETCH(QString, address);
    Console console;
    QVERIFY(console.showActive());
    console.addSite({"Scheme", address, "owl", "s3cret"});
    console.chooseSite(11);
    QCOMPARE(console.ui().TxtBrowseTo->text(), address);
    QCOMPARE(console.inet->url, address);
    QCOMPARE(console.inet->user, QStringLiteral("owl"));
}

void TestConsole::addSiteCancelled()
{
    Console console;
    console.addSite({QString(), QString(), QString(), QString()});
    QCOMPARE(console.prompt->asked.size(), 4);
    QCOMPARE(console.ui().Combo1->count(), 12);
    QCOMPARE(console.ui().Combo1->itemText(11), QString());
}

void TestConsole::addSiteWhenFull()
{
    Console console;
    for (int i = 0; i < 10; ++i)
        console.addSite({QStringLiteral("Site %1").arg(i), "a.example", "user", "pw"});
    QCOMPARE(console.ui().Combo1->count(), 21);
    QCOMPARE(console.window->sites().SiteLabel(20), QStringLiteral("Site 9"));
    console.prompt->asked.clear();

    console.addSite({"One too many"});
    QVERIFY(console.prompt->asked.isEmpty());
    QCOMPARE(console.ui().Combo1->count(), 21);
    QVERIFY(console.statusMessage().contains(QStringLiteral("full")));
}

void TestConsole::transferButtons()
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

void TestConsole::getChunkReplaces()
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

void TestConsole::stateDisplay_data()
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

void TestConsole::stateDisplay()
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

void TestConsole::stateReportsWhileProcessingEvents()
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

void TestConsole::statusLog()
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

void TestConsole::transferProgress()
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

void TestConsole::photoListing_data()
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

void TestConsole::photoListing()
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

void TestConsole::certificateQuestion_data()
{
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("answer");
    QTest::newRow("trusted") << false << true;
    QTest::newRow("refused") << false << false;
    QTest::newRow("changed since trusted") << true << false;
}

void TestConsole::certificateQuestion()
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
         {QStringLiteral("files.example.org:990"), question.reason, question.subject,
          question.issuer, QStringLiteral("2026-01-02 03:04:05"),
          QStringLiteral("2027-06-30 23:59:58"), question.fingerprint})
        QVERIFY2(details.contains(part), qPrintable(part));
    // A changed certificate is said first, before anything else is read.
    QCOMPARE(details.section(QLatin1Char('\n'), 0, 0).contains(QLatin1String("changed")), changed);
    QCOMPARE(console.inet->trustAnswers, QList<bool>{answer});
}

void TestConsole::hostKeyQuestion()
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

void TestConsole::clearTextQuestion()
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

void TestConsole::protectionIndicator()
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

void TestConsole::escapeStops_data()
{
    QTest::addColumn<int>("row");
    for (int row = 0; row < int(FmInternetControls.size()); ++row)
        if (FmInternetControls[row].kind() != ControlKind::Label)
            QTest::newRow(FmInternetControls[row].name) << row;
}

void TestConsole::escapeStops()
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

void TestConsole::escapeWhenIdle()
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

void TestConsole::failureClearedByNextOperation()
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

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
