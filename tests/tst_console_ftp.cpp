// The console with its real FTP component against a real server on
// loopback: add a site, choose it, run commands, read the data back.
#include "check/site_check_window.h"
#include "console_window.h"
#include "curl_transfer.h"
#include "fakes.h"
#include "ftp_server_process.h"
#include "protocol_log_window.h"

#include "text_box.h"
#include <QCheckBox>
#include <QRegularExpression>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

class TestConsoleFtp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void downloadThroughTheWindow();
    void siteCheckFillsItsWindow();

private:
    // The console, shown and active, with the test server added through
    // the prompts as the site "Loopback" and chosen; null when the window
    // never became active.
    std::unique_ptr<ConsoleWindow> consoleOnServer(ScriptedPrompt *prompt);

    QTemporaryDir m_root;
    FtpServerProcess m_server;
};

void TestConsoleFtp::initTestCase()
{
    QFile readme(m_root.filePath("readme.txt"));
    QVERIFY(readme.open(QIODevice::WriteOnly));
    readme.write(QByteArray("Welcome.\r\n").repeated(200)); // 2000 bytes: two chunks
    readme.close();
    QVERIFY(m_server.start(m_root.path(), "operator", "Secr3t-pw"));
}

std::unique_ptr<ConsoleWindow> TestConsoleFtp::consoleOnServer(ScriptedPrompt *prompt)
{
    auto window = makeConsoleWindow(new CurlTransfer, new FakeBrowserPane,
                                    std::unique_ptr<TextPrompt>(prompt));
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
        return nullptr;
    // "127.0.0.1:port" has a dot fourth, so the address is used as it is.
    prompt->answers << "Loopback" << QStringLiteral("127.0.0.1:%1").arg(m_server.port())
                    << "operator"
                    << "Secr3t-pw";
    const FmInternetUi &ui = window->ui();
    QTest::mouseClick(ui.ComAddSite, Qt::LeftButton);
    ui.Combo1->setFocus(Qt::MouseFocusReason);
    ui.Combo1->setCurrentIndex(11);
    return window;
}

void TestConsoleFtp::downloadThroughTheWindow()
{
    auto *prompt = new ScriptedPrompt;
    const auto window = consoleOnServer(prompt);
    QVERIFY(window);
    const FmInternetUi &ui = window->ui();

    ui.TxtFTPCommand->setText(QStringLiteral("GET readme.txt"));
    QTest::mouseClick(ui.ComFTP, Qt::LeftButton); // the site is applied first
    QCOMPARE(ui.TxtBrowseTo->text(), QStringLiteral("127.0.0.1:%1").arg(m_server.port()));
    QTRY_COMPARE_WITH_TIMEOUT(ui.TxtInetState->text(), QStringLiteral("12"), 20000);
    QCOMPARE(ui.TxtInetRespCode->text(), QStringLiteral("226"));
    QVERIFY(boxText(ui.TxtInetResponse).startsWith(QLatin1String("226")));

    QTest::mouseClick(ui.ComGetChunk, Qt::LeftButton);
    QCOMPARE(boxText(ui.TxtBrowserStatus).size(), 1024);
    QTest::mouseClick(ui.ComGetChunk, Qt::LeftButton);
    QCOMPARE(boxText(ui.TxtBrowserStatus).size(), 2000 - 1024);

    // A folder that is not there: the server's refusal shows, the program goes on.
    prompt->answers << "missing";
    QTest::mouseClick(ui.ComCDWWW, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(ui.TxtInetState->text(), QStringLiteral("11"), 20000);
    QCOMPARE(ui.TxtInetRespCode->text(), QStringLiteral("550"));
    QVERIFY(!boxText(ui.TxtInetResponse).contains(QLatin1String("Secr3t-pw")));

    // The conversation, in order, in the protocol log.
    QTest::keyClick(window.get(), Qt::Key_L, Qt::ControlModifier);
    auto *log = window->findChild<ProtocolLogWindow *>();
    QVERIFY(log);
    QTRY_VERIFY(log->isVisible());
    log->showPendingLines();
    const QString text = log->text();
    qsizetype at = 0;
    for (const char *expected :
         {"* GET readme.txt", "* Connecting to 127.0.0.1:", "* Connected", "> USER operator",
          "< 331", "> PASS ****", "< 230", "> RETR readme.txt", "< 226",
          "* GET done: ", "* Timing: ", "* CD missing", "> CWD missing", "< 550",
          "* CD missing: no such folder on the server (550"}) {
        const qsizetype found = text.indexOf(QLatin1String(expected), at);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("%1 missing after %2 in:\n%3")
                                            .arg(QLatin1String(expected))
                                            .arg(at)
                                            .arg(text)));
        at = found;
    }
    QVERIFY(!text.contains(QLatin1String("Secr3t-pw")));
    // libcurl's own remarks wait behind the check box.
    const QRegularExpression detail(QStringLiteral("^[0-9:.]+ - "),
                                    QRegularExpression::MultilineOption);
    QVERIFY(!text.contains(detail));
    auto *details = log->findChild<QCheckBox *>(QStringLiteral("LibcurlDetails"));
    QVERIFY(details && !details->isChecked());
    details->click();
    QVERIFY(log->text().contains(detail));
    QVERIFY(!log->text().contains(QLatin1String("Secr3t-pw")));
}

void TestConsoleFtp::siteCheckFillsItsWindow()
{
    auto *prompt = new ScriptedPrompt;
    const auto window = consoleOnServer(prompt);
    QVERIFY(window);
    const FmInternetUi &ui = window->ui();

    ui.TxtFTPCommand->setText(QStringLiteral("CHECK"));
    QTest::mouseClick(ui.ComFTP, Qt::LeftButton);
    SiteCheckWindow *check = window->siteCheckWindow();
    QTRY_VERIFY(check->isVisible());
    QCOMPARE(check->windowTitle(), QStringLiteral("Site check - Loopback"));
    QTRY_COMPARE_WITH_TIMEOUT(ui.TxtInetState->text(), QStringLiteral("12"), 20000);

    // A row for each step, as the table shows it, and the verdict in the response box.
    auto *table = check->findChild<QTableWidget *>();
    QCOMPARE(table->rowCount(), check->report().steps.size());
    QCOMPARE(table->rowCount(), siteCheckSteps().size());
    QStringList results;
    for (int row = 0; row < table->rowCount(); ++row)
        results << table->item(row, 1)->text();
    QVERIFY2(!results.contains(QStringLiteral("fail")), qPrintable(results.join(' ')));
    QCOMPARE(results.at(int(SiteCheckStepId::ReadBack) - 1), QStringLiteral("pass"));
    QCOMPARE(boxText(ui.TxtInetResponse), siteCheckVerdictLine(check->report().steps));
    QVERIFY(!check->report().protocolLines.join('\n').contains(QLatin1String("Secr3t-pw")));
    QVERIFY(QDir(m_root.path()).entryList({"sarvel-check-*"}, QDir::Files).isEmpty());

    // Run again starts the same check afresh.
    const QDateTime firstStart = check->report().started;
    QTest::qWait(1100); // a later start to the second
    QMetaObject::invokeMethod(check, &SiteCheckWindow::runAgainRequested);
    QTRY_VERIFY_WITH_TIMEOUT(check->report().started > firstStart, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), siteCheckSteps().size(), 20000);
}

QTEST_MAIN(TestConsoleFtp)
#include "tst_console_ftp.moc"
