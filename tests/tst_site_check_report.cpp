// The site check's report and its window: the verdict, the table and the
// JSON saved, what is masked, and where the window goes.
#include "check/site_check_window.h"
#include "site_check_support.h"
#include "test_files.h"
#include "window_placement.h"

#include <QApplication>
#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

class TestSiteCheckReport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void verdict_data();
    void verdict();
    void verdictNamesCause();
    void tableAligned();
    void jsonDocument();
    void target_data();
    void target();
    void placement_data();
    void placement();
    void window();
};

void TestSiteCheckReport::verdict_data()
{
    QTest::addColumn<QList<Result>>("results");
    QTest::addColumn<Result>("verdict");
    QTest::addColumn<QString>("line");
    QTest::newRow("none") << QList<Result>{} << Result::Pass
                          << "Site check: 0 passed, 0 warnings, 0 failed";
    QTest::newRow("skipped counted apart")
        << QList<Result>{Result::Pass, Result::Skipped, Result::Pass} << Result::Pass
        << "Site check: 2 passed, 0 warnings, 0 failed, 1 skipped";
    QTest::newRow("one warning") << QList<Result>{Result::Warning, Result::Pass} << Result::Warning
                                 << "Site check: 1 passed, 1 warning, 0 failed";
    QTest::newRow("worst is fail")
        << QList<Result>{Result::Fail, Result::Warning, Result::Warning, Result::Skipped}
        << Result::Fail << "Site check: 0 passed, 2 warnings, 1 failed, 1 skipped";
}

void TestSiteCheckReport::verdict()
{
    QFETCH(QList<Result>, results);
    QList<SiteCheckStep> steps;
    for (const Result result : results)
        steps << step(SiteCheckStepId::Login, result, {});
    QTEST(siteCheckVerdict(steps), "verdict");
    QTEST(siteCheckVerdictLine(steps), "line");
}

void TestSiteCheckReport::verdictNamesCause()
{
    // The first skipped step with a cause names it; a step skipped for want
    // of TLS has none.
    const QString after = "step 11 gave a warning";
    QList<SiteCheckStep> steps{step(SiteCheckStepId::Certificate, Result::Skipped, "no TLS"),
                               step(SiteCheckStepId::Write, Result::Warning, "refused"),
                               step(SiteCheckStepId::Verify, Result::Skipped, after),
                               step(SiteCheckStepId::ReadBack, Result::Skipped, after)};
    steps[2].cause = steps[3].cause = "the account cannot write in /ro";
    QCOMPARE(siteCheckVerdictLine(steps),
             "Site check: 0 passed, 1 warning, 0 failed, 3 skipped: the account cannot write in "
             "/ro");
}

void TestSiteCheckReport::tableAligned()
{
    SiteCheckReport report{"ftp://h:21/", "Site", Now, {}, {}};
    report.steps << step(SiteCheckStepId::NameResolution, Result::Pass, "127.0.0.1")
                 << step(SiteCheckStepId::PassiveData, Result::Warning, "two\nlines")
                 << step(SiteCheckStepId::Ipv6, Result::Skipped, "none");
    report.steps.last().elapsedMs = -1;
    const QStringList lines = siteCheckTable(report).split('\n');
    const int header = lines.indexOf(QRegularExpression("^Step +Result +Time +Detail$"));
    QVERIFY(header >= 0);
    for (const char *column : {"Result", "Time", "Detail"}) {
        const auto at = lines[header].indexOf(column);
        for (int row = 1; row <= report.steps.size(); ++row) {
            const QString &line = lines[header + 1 + row];
            QVERIFY2(line.at(at - 1) == ' ' && line.at(at) != ' ', qPrintable(line));
        }
    }
    QVERIFY(lines[header + 3].endsWith("two lines"));
    QVERIFY(lines.contains(siteCheckVerdictLine(report.steps)));
}

void TestSiteCheckReport::jsonDocument()
{
    SiteCheckReport report{
        "ftp://h:21/in", "Site", Now, {}, {"12:00:00.001 > USER op", "12:00:00.002 > PASS secret"}};
    SiteCheckStep greeting = step(SiteCheckStepId::Greeting, Result::Warning, "slow", "why");
    greeting.measured = {{"elapsedMs", 6000}, {"code", 220}};
    greeting.replyCode = 220;
    greeting.replyText = "Ready.";
    report.steps << greeting;
    const QByteArray json = siteCheckJson(report, "7.88.1", "Sarvel 0.1");
    QVERIFY(!json.contains("secret"));
    const QJsonObject document = QJsonDocument::fromJson(json).object();
    QCOMPARE(document["target"].toString(), report.target);
    QCOMPARE(document["libcurl"].toString(), "7.88.1");
    QCOMPARE(document["program"].toString(), "Sarvel 0.1");
    QCOMPARE(QDateTime::fromString(document["started"].toString(), Qt::ISODateWithMs), Now);
    QCOMPARE(document["verdict"].toString(), "warning");
    const QJsonObject saved = document["steps"].toArray().first().toObject();
    QCOMPARE(saved["result"].toString(), "warning");
    QCOMPARE(saved["hint"].toString(), "why");
    QCOMPARE(saved["measured"].toObject()["elapsedMs"].toInt(), 6000);
    QCOMPARE(saved["reply"].toObject()["code"].toInt(), 220);
    QCOMPARE(document["protocol"].toArray().size(), 2);
}

void TestSiteCheckReport::target_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("target");
    QTest::newRow("default port") << "ftp.example.org" << 21 << "/pub"
                                  << "ftp://ftp.example.org:21/pub";
    QTest::newRow("root") << "127.0.0.1" << 2121 << ""
                          << "ftp://127.0.0.1:2121/";
    QTest::newRow("IPv6") << "::1" << 2121 << "in/box"
                          << "ftp://[::1]:2121/in/box";
}

void TestSiteCheckReport::target()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, folder);
    QTEST(siteCheckTarget(host, port, folder), "target");
}

void TestSiteCheckReport::placement_data()
{
    const QRect screen(0, 0, 1280, 1024);
    QTest::addColumn<QRect>("owner");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("place");
    QTest::newRow("right") << QRect(0, 100, 500, 400) << QSize(600, 400)
                           << QRect(508, 100, 600, 400);
    QTest::newRow("left") << QRect(700, 100, 500, 400) << QSize(600, 400)
                          << QRect(92, 100, 600, 400);
    QTest::newRow("below, wide owner")
        << QRect(0, 0, 1200, 500) << QSize(600, 400) << QRect(0, 508, 600, 400);
    QTest::newRow("shrunk to the right")
        << QRect(0, 0, 800, 1024) << QSize(600, 400) << QRect(808, 0, 472, 400);
    QTest::newRow("no room: on the screen")
        << QRect(0, 0, 1280, 1024) << QSize(600, 400) << QRect(680, 0, 600, 400);
}

void TestSiteCheckReport::placement()
{
    QFETCH(QRect, owner);
    QFETCH(QSize, size);
    QTEST(placeBeside(owner, size, QRect(0, 0, 1280, 1024)), "place");
}

void TestSiteCheckReport::window()
{
    QWidget console;
    console.setGeometry(20, 40, 400, 300);
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    auto *check = new SiteCheckWindow(&console);
    check->clear("Demo", "ftp://127.0.0.1:2121/");
    QCOMPARE(check->windowTitle(), "Site check - Demo");
    check->addStep(step(SiteCheckStepId::NameResolution, Result::Pass, "127.0.0.1"));
    check->addStep(step(SiteCheckStepId::Greeting, Result::Warning, "slow", "a reverse lookup"));
    check->finish();
    check->show();
    QVERIFY(QTest::qWaitForWindowExposed(check));
    QVERIFY(check->isWindow() && !check->isModal());
    QVERIFY(!check->frameGeometry().intersects(console.frameGeometry()));

    auto *table = check->findChild<QTableWidget *>();
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(1, 1)->text(), "warning");
    table->selectRow(1);
    QCOMPARE(check->hint(), "a reverse lookup");
    table->selectRow(0);
    QCOMPARE(check->hint(), QString());

    check->copyToClipboard();
    QCOMPARE(QGuiApplication::clipboard()->text(), siteCheckTable(check->report()));

    QTemporaryDir dir;
    const QString path = dir.filePath("check.json");
    QVERIFY(check->saveTo(path));
    const QJsonObject saved = QJsonDocument::fromJson(readFile(path)).object();
    QCOMPARE(saved["steps"].toArray().size(), 2);
    QVERIFY(!check->saveTo(dir.filePath("missing/check.json")));

    QSignalSpy again(check, &SiteCheckWindow::runAgainRequested);
    for (QPushButton *button : check->findChildren<QPushButton *>())
        if (button->text() == "Run again")
            QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(again.size(), 1);

    check->clear("Other", "ftp://127.0.0.1:21/");
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(check->windowTitle(), "Site check - Other");
}

QTEST_MAIN(TestSiteCheckReport)
#include "tst_site_check_report.moc"
