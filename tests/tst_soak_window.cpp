// The Soak window as the operator meets it through the console: SOAK typed
// on a site opens it, the round in progress, the failed rounds and the
// phase table as the rounds end, the chart with the failed rounds marked,
// Stop and Escape sending ABORT, and Save.
#include "console_fixture.h"
#include "soak/soak_window.h"
#include "soak_support.h"

#include <QBarSet>
#include <QChart>
#include <QJsonDocument>
#include <QLineEdit>
#include <QStackedBarSeries>
#include <QTableWidget>

namespace {

// SOAK typed on the first site, and the component saying it has begun.
SoakWindow *soakFirstSite(Console &console)
{
    console.chooseSite(0);
    console.ui().TxtFTPCommand->setText(QStringLiteral("SOAK 3"));
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);
    Q_EMIT console.inet->soakStarted("ftp://a.example:21/", console.inet->executed.constLast());
    return console.window->soakWindow();
}

} // namespace

class TestSoakWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void followsTheRounds();
    void stopAndEscapeAbort();
    void saves();
};

void TestSoakWindow::followsTheRounds()
{
    Console console;
    QVERIFY(console.showActive());
    SoakWindow *soak = soakFirstSite(console);
    QCOMPARE(console.inet->executed, QStringList{"SOAK 3"});
    QVERIFY(soak->isVisible());
    QCOMPARE(soak->windowTitle(), "Soak - " + console.window->sites().SiteLabel(0));
    QVERIFY(!button(soak, "Copy")->isEnabled());
    QCOMPARE(soak->progress(), "round 1 of 3");

    Q_EMIT console.inet->soakRound(soakRound(1, 3, 1, 10));
    QCOMPARE(soak->progress(), "round 2 of 3");
    Q_EMIT console.inet->soakRound(
        soakRound(2, 3, 16383, 20, SoakPhase::Verify, 8191, soakKeptText(8191, 16383)));
    Q_EMIT console.inet->soakRound(soakRound(3, 3, 16384, 30));
    Q_EMIT console.inet->finished(false);

    QCOMPARE(soak->summary(), "ftp://a.example:21/: 3 rounds, 2 passed, 1 failed, seed 42");
    QVERIFY(button(soak, "Copy")->isEnabled());
    QVERIFY(!button(soak, "Stop")->isEnabled());
    // The failed round: its size sent, the bytes kept and why.
    QTableWidget *failed = soak->failedTable();
    QCOMPARE(failed->rowCount(), 1);
    QCOMPARE(failed->item(0, 0)->text(), "2");
    QCOMPARE(failed->item(0, 1)->text(), "verify");
    QCOMPARE(failed->item(0, 2)->text(), "16383");
    QCOMPARE(failed->item(0, 3)->text(), "8191");
    QCOMPARE(failed->item(0, 4)->text(), soakKeptText(8191, 16383));
    // The upload's median of 10, 20 and 30 ms.
    QTableWidget *phases = soak->phaseTable();
    QCOMPARE(phases->item(int(SoakPhase::Upload), 0)->text(), "upload");
    QCOMPARE(phases->item(int(SoakPhase::Upload), 2)->text(), "0.020");

    // A bar per round, the failed one marked in every phase.
    const auto *series = qobject_cast<QStackedBarSeries *>(soak->chart()->series().value(0));
    QVERIFY(series);
    QCOMPARE(series->barSets().size(), SoakPhaseCount);
    for (QBarSet *set : series->barSets()) {
        QCOMPARE(set->count(), 3);
        QCOMPARE(set->selectedBars(), QList<int>{1});
    }
    QCOMPARE(series->barSets().at(int(SoakPhase::Upload))->at(2), 30.0);
}

void TestSoakWindow::stopAndEscapeAbort()
{
    Console console;
    QVERIFY(console.showActive());
    SoakWindow *soak = soakFirstSite(console);
    QVERIFY(QTest::qWaitForWindowExposed(soak));
    // The console keeps the focus the click on its button gave it; the
    // operator turns to the soak's window.
    soak->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), soak);
    QTest::keyClick(soak->phaseTable(), Qt::Key_Escape);
    QCOMPARE(console.inet->executed.constLast(), "ABORT");
    QCOMPARE(soak->progress(), "stopping after this round's clean-up");
    QVERIFY(soak->isVisible()); // Escape stops a running soak, not the window
    QTest::mouseClick(button(soak, "Stop"), Qt::LeftButton);
    QCOMPARE(console.inet->executed.count("ABORT"), 1); // once is enough

    Q_EMIT console.inet->soakRound(soakRound(1, 3, 1, 10));
    Q_EMIT console.inet->finished(false);
    QCOMPARE(soak->progress(), "stopped by the operator after 1 rounds");
    QTest::keyClick(soak->phaseTable(), Qt::Key_Escape);
    QVERIFY(!soak->isVisible()); // ended, Escape closes it
}

void TestSoakWindow::saves()
{
    Console console;
    QVERIFY(console.showActive());
    SoakWindow *soak = soakFirstSite(console);
    Q_EMIT console.inet->soakRound(soakRound(1, 3, 65537, 10));
    Q_EMIT console.inet->finished(true);
    QTemporaryDir dir;
    const QString path = dir.filePath("soak.json");
    QString error;
    QVERIFY2(soak->saveTo(path, &error), qPrintable(error));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(saved.readAll()).object();
    QCOMPARE(json["summary"]["passed"].toInt(), 1);
    QCOMPARE(json["rounds"][0]["size"].toInteger(), 65537);
    QVERIFY(!soak->saveTo(dir.filePath("no/such/folder/soak.json"), &error));
    QVERIFY(!error.isEmpty());
}

QTEST_MAIN(TestSoakWindow)
#include "tst_soak_window.moc"
