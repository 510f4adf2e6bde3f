// The Site check window as the operator meets it: the step in progress, the
// row to look at first once the check ends, its buttons while it runs and
// after, closing it, and Run again and Stop through the console's transfer
// component.
#include "check/site_check_window.h"
#include "console_fixture.h"
#include "site_check_support.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>

namespace {

QStringList enabledButtons(const QWidget *window)
{
    QStringList enabled;
    for (const QPushButton *candidate : window->findChildren<QPushButton *>())
        if (candidate->isEnabled())
            enabled << candidate->text();
    enabled.sort();
    return enabled;
}

int selectedRow(const QTableWidget *table)
{
    const QList<QTableWidgetItem *> selected = table->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->row();
}

// Whether `row` lies wholly inside the table's visible area.
bool rowInView(const QTableWidget *table, int row)
{
    return table->viewport()->rect().contains(table->visualItemRect(table->item(row, 0)));
}

// One step of an FTP check for each result, in the order of the check.
QList<SiteCheckStep> steps(const QList<Result> &results)
{
    QList<SiteCheckStep> made;
    const QList<SiteCheckStepId> ids = siteCheckSteps();
    for (int i = 0; i < results.size(); ++i)
        made << step(ids.at(i), results.at(i), QStringLiteral("detail %1").arg(i + 1),
                     QStringLiteral("hint %1").arg(i + 1));
    return made;
}

// What the component was last set to.
QStringList account(const FakeTransfer *inet)
{
    return {inet->url, inet->user, inet->password};
}

// The console on its first site, with a check of it announced by the
// component; ended unless `running`.
void checkFirstSite(Console &console, bool running = false)
{
    console.chooseSite(0);
    Q_EMIT console.inet->siteCheckStarted("ftp://a.example:21/", "CHECK");
    if (!running)
        Q_EMIT console.inet->finished(true);
}

} // namespace

class TestSiteCheckWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void culprit_data();
    void culprit();
    void culpritScrolledIntoView();
    void whileRunning();
    void allStepsShow_data();
    void allStepsShow();
    void closes();
    void progressFromComponent();
    void stopAborts();
    void runAgainChecksTheSameSite();
    void runAgainOnTheSameSite();
    void runAgainRefused();
};

void TestSiteCheckWindow::culprit_data()
{
    QTest::addColumn<QList<Result>>("results");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("line");
    QTest::newRow("failure over an earlier warning")
        << QList<Result>{Result::Pass, Result::Warning, Result::Fail, Result::Skipped} << 2
        << "1 failed: 3. Greeting: detail 3";
    QTest::newRow("the first of two failures")
        << QList<Result>{Result::Pass, Result::Fail, Result::Skipped, Result::Fail} << 1
        << "2 failed, the first: 2. Connection: detail 2";
    QTest::newRow("a warning when nothing failed")
        << QList<Result>{Result::Pass,    Result::Pass, Result::Pass,   Result::Skipped,
                         Result::Skipped, Result::Pass, Result::Warning}
        << 6 << "1 warning: 7. Features: detail 7";
    QTest::newRow("the first of two warnings")
        << QList<Result>{Result::Warning, Result::Pass, Result::Warning} << 0
        << "2 warnings, the first: 1. Name resolution: detail 1";
    QTest::newRow("all passed") << QList<Result>{Result::Pass, Result::Skipped, Result::Pass} << -1
                                << QString();
}

void TestSiteCheckWindow::culprit()
{
    QFETCH(QList<Result>, results);
    QFETCH(int, row);
    QFETCH(QString, line);
    SiteCheckWindow check;
    check.clear("Demo", "ftp://127.0.0.1:2121/");
    for (const SiteCheckStep &made : steps(results))
        check.addStep(made);
    auto *table = check.findChild<QTableWidget *>();
    // Nothing is chosen for the operator while rows still come in.
    QCOMPARE(selectedRow(table), -1);
    QVERIFY(!check.summary().contains(QLatin1String("the first")));

    check.finish();
    QCOMPARE(selectedRow(table), row);
    QCOMPARE(check.hint(), row < 0 ? QString() : QStringLiteral("hint %1").arg(row + 1));
    const QStringList header = check.summary().split(QLatin1Char('\n'));
    QCOMPARE(header.first(),
             "ftp://127.0.0.1:2121/: " + siteCheckVerdictLine(check.report().steps));
    QCOMPARE(header.value(1), line);
}

void TestSiteCheckWindow::culpritScrolledIntoView()
{
    QList<Result> results(siteCheckSteps().size(), Result::Pass);
    results.last() = Result::Fail;
    SiteCheckWindow check;
    check.clear("Demo", "ftp://127.0.0.1:2121/");
    auto *table = check.findChild<QTableWidget *>();
    check.resize(check.width(), 260); // room for a few rows only
    check.show();
    QVERIFY(QTest::qWaitForWindowExposed(&check));
    const QList<SiteCheckStep> made = steps(results);
    for (const SiteCheckStep &one : made)
        check.addStep(one);
    table->scrollToTop(); // the operator looks at the first rows
    QVERIFY(!rowInView(table, table->rowCount() - 1));

    check.finish();
    QCOMPARE(selectedRow(table), table->rowCount() - 1);
    QVERIFY(rowInView(table, table->rowCount() - 1));
}

void TestSiteCheckWindow::whileRunning()
{
    SiteCheckWindow check;
    check.clear("Demo", "ftp://127.0.0.1:2121/");
    QVERIFY(check.running());
    QCOMPARE(enabledButtons(&check), QStringList({"Close", "Stop"}));
    check.addStep(step(SiteCheckStepId::NameResolution, Result::Pass, "127.0.0.1"));
    check.showProgress({SiteCheckStepId::Greeting, 3, 16, "waiting for the greeting", 10});
    QCOMPARE(check.progress(), "step 3 of 16: waiting for the greeting, up to 10 s");
    check.showProgress({SiteCheckStepId::Login, 6, 16, "logging in", 0});
    QCOMPARE(check.progress(), "step 6 of 16: logging in");

    check.finish();
    QVERIFY(!check.running());
    QCOMPARE(enabledButtons(&check), QStringList({"Close", "Copy", "Run again", "Save..."}));
    QCOMPARE(check.progress(), QString());
    // A late report of progress belongs to no running check.
    check.showProgress({SiteCheckStepId::Greeting, 3, 16, "waiting for the greeting", 10});
    QCOMPARE(check.progress(), QString());
}

void TestSiteCheckWindow::allStepsShow_data()
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QTest::addColumn<QRect>("console");
    QTest::newRow("room beside the console")
        << QRect(screen.topLeft() + QPoint(20, 40), QSize(400, 300));
    QTest::newRow("a large console, a strip below it")
        << QRect(screen.topLeft(), screen.size() - QSize(200, 300));
}

void TestSiteCheckWindow::allStepsShow()
{
    QFETCH(QRect, console);
    QWidget owner;
    owner.setGeometry(console);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    for (const QList<SiteCheckStepId> &ids : {siteCheckSteps(), sftpSiteCheckSteps()}) {
        auto *check = new SiteCheckWindow(&owner);
        check->clear("Demo", "ftp://127.0.0.1:2121/");
        for (const SiteCheckStepId id : ids)
            check->addStep(step(id, Result::Fail, "failed", "a hint\nof two lines"));
        check->finish();
        check->show();
        QVERIFY(QTest::qWaitForWindowExposed(check));
        auto *table = check->findChild<QTableWidget *>();
        QCOMPARE(table->rowCount(), ids.size());
        QCOMPARE(table->verticalScrollBar()->maximum(), 0);
        QVERIFY(rowInView(table, 0));
        QVERIFY(rowInView(table, table->rowCount() - 1));
        delete check;
    }
}

void TestSiteCheckWindow::closes()
{
    SiteCheckWindow check;
    check.clear("Demo", "ftp://127.0.0.1:2121/");
    check.show();
    check.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&check));
    QTest::keyClick(check.findChild<QTableWidget *>(), Qt::Key_Escape);
    QVERIFY(!check.isVisible());

    check.show();
    QVERIFY(QTest::qWaitForWindowExposed(&check));
    QTest::mouseClick(button(&check, "Close"), Qt::LeftButton);
    QVERIFY(!check.isVisible());
}

void TestSiteCheckWindow::progressFromComponent()
{
    Console console;
    QVERIFY(console.showActive());
    checkFirstSite(console, true);
    SiteCheckWindow *check = console.window->siteCheckWindow();
    QVERIFY(check->isVisible());
    QCOMPARE(check->windowTitle(), "Site check - " + console.window->sites().SiteLabel(0));
    QCOMPARE(check->summary(), "ftp://a.example:21/");

    Q_EMIT console.inet->siteCheckProgress(
        {SiteCheckStepId::Greeting, 3, 16, "waiting for the greeting", 10});
    QCOMPARE(check->progress(), "step 3 of 16: waiting for the greeting, up to 10 s");
    Q_EMIT console.inet->siteCheckStep(step(SiteCheckStepId::Greeting, Result::Fail,
                                            "no greeting within 10 s", "Is it an FTP server?"));
    Q_EMIT console.inet->finished(false);
    QCOMPARE(check->progress(), QString());
    QVERIFY(check->summary().endsWith("\n1 failed: 3. Greeting: no greeting within 10 s"));
    QCOMPARE(check->hint(), "Is it an FTP server?");
}

void TestSiteCheckWindow::stopAborts()
{
    Console console;
    QVERIFY(console.showActive());
    checkFirstSite(console, true);
    SiteCheckWindow *check = console.window->siteCheckWindow();
    QTest::mouseClick(button(check, "Stop"), Qt::LeftButton);
    QCOMPARE(console.inet->executed, QStringList{"ABORT"});
    QCOMPARE(check->progress(), "stopping the check");

    // Stopped, the check ends as any other.
    Q_EMIT console.inet->finished(false);
    QVERIFY(!button(check, "Stop")->isEnabled());
    QCOMPARE(check->progress(), "stopped by the operator");
}

void TestSiteCheckWindow::runAgainChecksTheSameSite()
{
    Console console;
    QVERIFY(console.showActive());
    FakeTransfer *inet = console.inet;
    console.chooseSite(0);
    const QStringList checked = account(inet);
    console.ui().TxtFTPCommand->setText(QStringLiteral("CHECK \"pub\""));
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);
    Q_EMIT inet->siteCheckStarted("ftp://a.example:21/pub", inet->executed.constLast());
    Q_EMIT inet->finished(true);
    console.chooseSite(1);
    const QStringList chosen = account(inet);
    QVERIFY(chosen.first() != checked.first());

    SiteCheckWindow *check = console.window->siteCheckWindow();
    inet->calls.clear();
    QTest::mouseClick(button(check, "Run again"), Qt::LeftButton);
    QCOMPARE(inet->executed.constLast(), "CHECK \"pub\"");
    QCOMPARE(inet->calls, QStringList({"URL", "UserName", "Password", "Execute"}));
    QCOMPARE(account(inet), checked);
    Q_EMIT inet->siteCheckStarted("ftp://a.example:21/pub", inet->executed.constLast());
    QCOMPARE(check->windowTitle(), "Site check - " + console.window->sites().SiteLabel(0));

    // Once it ends, the console's site is the component's again.
    Q_EMIT inet->finished(true);
    QCOMPARE(account(inet), chosen);
}

void TestSiteCheckWindow::runAgainOnTheSameSite()
{
    Console console;
    QVERIFY(console.showActive());
    FakeTransfer *inet = console.inet;
    checkFirstSite(console);

    // The login the console keeps is not dropped for nothing.
    inet->calls.clear();
    QTest::mouseClick(button(console.window->siteCheckWindow(), "Run again"), Qt::LeftButton);
    QCOMPARE(inet->calls, QStringList{"Execute"});
    QCOMPARE(inet->executed, QStringList{"CHECK"});
}

void TestSiteCheckWindow::runAgainRefused()
{
    Console console;
    QVERIFY(console.showActive());
    FakeTransfer *inet = console.inet;
    checkFirstSite(console);
    console.chooseSite(1);
    const QStringList chosen = account(inet);

    inet->failure = QStringLiteral("A command is still running.");
    SiteCheckWindow *check = console.window->siteCheckWindow();
    QTest::mouseClick(button(check, "Run again"), Qt::LeftButton);
    QCOMPARE(account(inet), chosen);
    QVERIFY(check->progress().contains(inet->failure));
    QVERIFY(!check->running());
}

QTEST_MAIN(TestSiteCheckWindow)
#include "tst_site_check_window.moc"
