// The protocol log: what the transfer component says of its conversation
// with the server, as the operator reads it in the console's log window.
#include "console_fixture.h"
#include "protocol_log_window.h"
#include "text/protocol_line.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>

namespace {

ProtocolEvent logEvent(ProtocolEvent::Kind kind, const QString &text, int ms = 42)
{
    return ProtocolEvent{QTime(13, 5, 7, ms), kind, text};
}

QStringList lines(ProtocolLogWindow *log)
{
    return log->text().split(QLatin1Char('\n'));
}

} // namespace

class TestProtocolLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void line_data();
    void line();
    void linesInOrder();
    void opensFromConsole();
    void keepsNewestLines();
    void followsUnlessScrolledUp();
    void opensAtLeftEdge();
    void escapeAndCloseClose();
};

void TestProtocolLog::line_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("sent") << int(ProtocolEvent::Kind::Sent) << "USER operator";
    QTest::newRow("password") << int(ProtocolEvent::Kind::Sent) << "pass a-much-longer-secret";
    QTest::newRow("line break") << int(ProtocolEvent::Kind::Received) << "530 Login\r\nincorrect.";
}

// The console's log shows each event as the one formatter of protocol lines
// writes it (its own table test holds what that is).
void TestProtocolLog::line()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    Console console;
    const ProtocolEvent event = logEvent(ProtocolEvent::Kind(kind), text);
    Q_EMIT console.inet->protocolEvent(event);
    auto *log = console.window->findChild<ProtocolLogWindow *>();
    QVERIFY(log);
    QCOMPARE(log->text(), protocolLine(event));
    QVERIFY(!log->text().contains(QLatin1String("secret")));
}

void TestProtocolLog::linesInOrder()
{
    Console console;
    Q_EMIT console.inet->protocolEvent(logEvent(ProtocolEvent::Kind::Info, "Connecting", 1));
    Q_EMIT console.inet->protocolEvent(logEvent(ProtocolEvent::Kind::Received, "220 Ready", 2));
    Q_EMIT console.inet->protocolEvent(logEvent(ProtocolEvent::Kind::Sent, "USER op", 3));
    Q_EMIT console.inet->protocolEvent(logEvent(ProtocolEvent::Kind::Sent, "PASS op-pw", 4));
    QCOMPARE(lines(console.window->findChild<ProtocolLogWindow *>()),
             (QStringList{"13:05:07.001 * Connecting", "13:05:07.002 < 220 Ready",
                          "13:05:07.003 > USER op", "13:05:07.004 > PASS ****"}));
}

void TestProtocolLog::opensFromConsole()
{
    Console console;
    QVERIFY(console.showActive());
    auto *log = console.window->findChild<ProtocolLogWindow *>();
    QVERIFY(log && log->isHidden());
    QCOMPARE(log->windowTitle(), QStringLiteral("Protocol log"));

    console.ui().TxtFTPCommand->setFocus();
    QTest::keyClick(console.ui().TxtFTPCommand, Qt::Key_L, Qt::ControlModifier);
    QVERIFY(log->isVisible());
    QVERIFY(log->isWindow());
    QVERIFY(!log->isModal());
    log->close();

    // The response box's menu keeps its usual entries and adds the log.
    QPlainTextEdit *box = console.ui().TxtInetResponse;
    const QPoint position(10, 10);
    QContextMenuEvent request(QContextMenuEvent::Mouse, position,
                              box->viewport()->mapToGlobal(position));
    QApplication::sendEvent(box->viewport(), &request);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QAction *open = nullptr;
    bool selectAll = false;
    for (QAction *action : menu->actions()) {
        selectAll |= action->objectName() == QLatin1String("select-all");
        if (action->text() == QLatin1String("Protocol log"))
            open = action;
    }
    QVERIFY(selectAll);
    QVERIFY(open);
    open->trigger();
    menu->close();
    QVERIFY(log->isVisible());
}

void TestProtocolLog::keepsNewestLines()
{
    ProtocolLogWindow log(nullptr, 3);
    for (int i = 1; i <= 3; ++i)
        log.addEvent(logEvent(ProtocolEvent::Kind::Received, QStringLiteral("line %1").arg(i)));
    QCOMPARE(lines(&log).size(), 3);
    QCOMPARE(lines(&log).first(), QStringLiteral("13:05:07.042 < line 1"));

    for (int i = 4; i <= 5; ++i)
        log.addEvent(logEvent(ProtocolEvent::Kind::Received, QStringLiteral("line %1").arg(i)));
    const QStringList expected = {QLatin1String(OlderLinesDroppedNote), "13:05:07.042 < line 3",
                                  "13:05:07.042 < line 4", "13:05:07.042 < line 5"};
    QCOMPARE(lines(&log), expected);

    // Copy takes all of it, the note included.
    QApplication::clipboard()->clear();
    auto *copy = log.findChild<QPushButton *>();
    QVERIFY(copy);
    QCOMPARE(copy->text(), QStringLiteral("Copy"));
    QTest::mouseClick(copy, Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text().split(QLatin1Char('\n')), expected);
}

void TestProtocolLog::followsUnlessScrolledUp()
{
    ProtocolLogWindow log;
    const auto add = [&log](int count) {
        for (int i = 0; i < count; ++i)
            log.addEvent(logEvent(ProtocolEvent::Kind::Info, QStringLiteral("line %1").arg(i)));
        log.showPendingLines();
    };
    add(200); // while closed
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    QScrollBar *bar = log.findChild<QPlainTextEdit *>()->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    add(10);
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(5); // the operator reads further up
    add(10);
    QCOMPARE(bar->value(), 5);

    bar->setValue(bar->maximum());
    add(10);
    QCOMPARE(bar->value(), bar->maximum());
}

void TestProtocolLog::opensAtLeftEdge()
{
    ProtocolLogWindow log;
    const auto addLong = [&log](int count) {
        for (int i = 0; i < count; ++i) {
            log.addEvent(logEvent(ProtocolEvent::Kind::Sent, QStringLiteral("LIST %1").arg(i)));
            log.addEvent(
                logEvent(ProtocolEvent::Kind::Received,
                         QStringLiteral("150 ") + QString(600, 'x') + QStringLiteral(" end")));
        }
        log.showPendingLines();
    };
    addLong(30); // while closed; the newest line is the longest
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    auto *view = log.findChild<QPlainTextEdit *>();
    QScrollBar *across = view->horizontalScrollBar();
    QScrollBar *down = view->verticalScrollBar();
    QVERIFY(across->maximum() > 0); // the lines are wider than the view
    const auto startsInView = [view] {
        const QTextCursor newest(view->document()->lastBlock());
        return view->viewport()->rect().contains(view->cursorRect(newest).center());
    };
    QCOMPARE(across->value(), across->minimum());
    QCOMPARE(down->value(), down->maximum());
    QVERIFY(startsInView());

    // Following new lines scrolls down only.
    addLong(10);
    QCOMPARE(down->value(), down->maximum());
    QCOMPARE(across->value(), across->minimum());
    QVERIFY(startsInView());

    // Shown again with libcurl's details, and opened again: still at the left.
    log.findChild<QCheckBox *>(QStringLiteral("LibcurlDetails"))->setChecked(true);
    QCOMPARE(across->value(), across->minimum());
    log.close();
    addLong(5);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    QCOMPARE(across->value(), across->minimum());
    QCOMPARE(down->value(), down->maximum());
    QVERIFY(startsInView());
}

void TestProtocolLog::escapeAndCloseClose()
{
    ProtocolLogWindow log;
    log.addEvent(logEvent(ProtocolEvent::Kind::Info, QStringLiteral("Connected")));
    log.show();
    log.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&log));
    auto *view = log.findChild<QPlainTextEdit *>();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Escape);
    QVERIFY(log.isHidden());

    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    auto *close = log.findChild<QPushButton *>(QStringLiteral("CloseLog"));
    QVERIFY(close);
    QCOMPARE(close->text(), QStringLiteral("Close"));
    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(log.isHidden());
    // Closing keeps the lines.
    QCOMPARE(log.text(), QStringLiteral("13:05:07.042 * Connected"));
}

QTEST_MAIN(TestProtocolLog)
#include "tst_protocol_log.moc"
