// The console window driven as an operator would, with fakes at its seams
// (the transfer component, the browser pane and the text prompt): its
// controls, their captions and order, the failure boundary, and choosing and
// adding sites. What it shows of a transfer is in tst_console_transfer.cpp.
#include "console_fixture.h"
#include "control_table.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>

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

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
