// What the console's status bar and hints tell the operator around a
// command, driven as an operator would with a fake transfer component: no
// stale message after a site is chosen, what a running command is doing,
// what a finished one did, a refusal that fits the bar with its details in
// the tooltip, the end of the retrieved data, a name that only the
// host-prefix rule made, the states in the state box's tooltip, the
// protection indicator's spoken name, and the certificate question's words.
#include "console_fixture.h"
#include "trust_question.h"

#include "text/connection_text.h"
#include "text/transfer_command.h"
#include "text/state_text.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <stdexcept>

class TestConsoleStatus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void choosingASiteClearsTheBar();
    void runningAndDone();
    void refusalFitsTheBar();
    void noMoreData();
    void prefixedNameDoesNotResolve_data();
    void prefixedNameDoesNotResolve();
    void stateBoxNamesTheStates();
    void protectionIsSpoken();
    void certificateProblems_data();
    void certificateProblems();
};

namespace {

// The message the command grammar refuses `text` with.
QString refusalOf(const QString &text)
{
    try {
        parseTransferCommand(text);
    } catch (const std::invalid_argument &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

} // namespace

void TestConsoleStatus::choosingASiteClearsTheBar()
{
    Console console;
    QVERIFY(console.showActive());
    console.inet->failure =
        QStringLiteral("No site chosen yet: pick a site in the site list first.");
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);
    QCOMPARE(console.statusMessage(), console.inet->failure);

    console.inet->failure.clear();
    console.chooseSite(4);
    QVERIFY(!hasFocusWithin(console.ui().Combo1));
    QCOMPARE(console.inet->url, QStringLiteral("FTP://ftp.quarrymuseum.example"));
    QVERIFY2(console.statusMessage().isEmpty(), qPrintable(console.statusMessage()));
}

void TestConsoleStatus::runningAndDone()
{
    Console console;
    QVERIFY(console.showActive());
    console.inet->url = QStringLiteral("FTP://10.255.255.1");
    console.inet->report(3, 0, QString());
    QCOMPARE(console.statusMessage(), QStringLiteral("3 connecting to 10.255.255.1:21"));
    console.inet->report(7, 150, QStringLiteral("150 Opening data connection"));
    QCOMPARE(console.statusMessage(),
             runningStateText(TransferState::ReceivingResponse, QStringLiteral("10.255.255.1:21")));
    // The end of a command leaves no running state behind...
    console.inet->report(12, 226, QStringLiteral("226 Transfer complete"));
    QVERIFY(console.statusMessage().isEmpty());
    // ...and what it did, when it says.
    const QString done = QStringLiteral("Downloaded 2.0 KiB in 12 ms (166.7 KiB/s) to /tmp/a.txt");
    Q_EMIT console.inet->commandDone(done);
    QCOMPARE(console.statusMessage(), done);
    Q_EMIT console.inet->commandDone(QString());
    QCOMPARE(console.statusMessage(), done);

    // A failure's sentence is in Response Info; the bar keeps no running state.
    console.inet->report(3, 0, QString());
    console.inet->report(11, 0, QStringLiteral("Cannot connect to 10.255.255.1:21"));
    QVERIFY(console.statusMessage().isEmpty());

    // An SFTP site's port, and an IPv6 address in brackets.
    console.inet->url = QStringLiteral("sftp://[::1]:2222");
    console.inet->report(4, 0, QString());
    QVERIFY2(console.statusMessage().endsWith(QLatin1String(" [::1]:2222")),
             qPrintable(console.statusMessage()));
}

void TestConsoleStatus::refusalFitsTheBar()
{
    Console console;
    QVERIFY(console.showActive());
    QStatusBar *bar = console.window->statusBar();
    Q_EMIT console.inet->protectionChanged(QStringLiteral("TLS 1.2"));
    console.inet->failure = refusalOf(QStringLiteral("FROB x"));
    QVERIFY(console.inet->failure.contains(QLatin1Char('\n')));
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);

    const QString shown = console.statusMessage();
    QCOMPARE(shown, console.inet->failure.section(QLatin1Char('\n'), 0, 0));
    QVERIFY(shown.contains(QLatin1String("CHECK")) && shown.contains(QLatin1String("ABORT")));
    QCOMPARE(bar->toolTip(), console.inet->failure.section(QLatin1Char('\n'), 1));
    int room = bar->width();
    for (const QWidget *widget : bar->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (widget->isVisible() && widget->x() > 0)
            room = std::min(room, widget->x());
    QVERIFY2(QFontMetrics(bar->font()).horizontalAdvance(shown) < room,
             qPrintable(QStringLiteral("%1 px of text in %2 px")
                            .arg(QFontMetrics(bar->font()).horizontalAdvance(shown))
                            .arg(room)));

    // The details go with the message.
    console.inet->failure.clear();
    console.ui().TxtFTPCommand->setText(QStringLiteral("PWD"));
    QTest::mouseClick(console.ui().ComFTP, Qt::LeftButton);
    QVERIFY(console.statusMessage().isEmpty());
    QVERIFY(bar->toolTip().isEmpty());
}

void TestConsoleStatus::noMoreData()
{
    Console console;
    console.inet->chunks << QStringLiteral("total 1\r\n-rw-r--r-- 1 ftp ftp 14 a.txt");
    QTest::mouseClick(console.ui().ComGetChunk, Qt::LeftButton);
    QVERIFY(console.statusMessage().isEmpty());
    QTest::mouseClick(console.ui().ComGetChunk, Qt::LeftButton);
    QCOMPARE(console.statusBox(), QString());
    QCOMPARE(console.statusMessage(), QLatin1String(NoMoreDataText));
}

void TestConsoleStatus::prefixedNameDoesNotResolve_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("hinted");
    QTest::newRow("IP address") << "10.255.255.1"
                                << "www.10.255.255.1:21" << true;
    QTest::newRow("name with a port") << "fileshost:2121"
                                      << "www.fileshost:2121" << true;
    QTest::newRow("ftp. host, as typed") << "ftp.nosuch.example"
                                         << "ftp.nosuch.example:21" << false;
}

void TestConsoleStatus::prefixedNameDoesNotResolve()
{
    QFETCH(QString, address);
    QFETCH(QString, server);
    QFETCH(bool, hinted);
    Console console;
    QVERIFY(console.showActive());
    console.addSite({QStringLiteral("Typed"), address, QStringLiteral("u"), QStringLiteral("p")});
    console.chooseSite(SiteDirectory::PresetCount);

    console.inet->report(11, 0, unresolvedHostText(server, QStringLiteral("Could not resolve")));
    const QString shown = console.statusMessage();
    QCOMPARE(!shown.isEmpty(), hinted);
    if (hinted) {
        QVERIFY2(shown.contains(server.section(QLatin1Char(':'), 0, -2)), qPrintable(shown));
        QVERIFY2(shown.contains(QStringLiteral("ftp://") + address), qPrintable(shown));
    }
    // Any other failure of the same site gets no such word.
    console.inet->report(11, 0, connectFailedText(server, QString()));
    QVERIFY(console.statusMessage().isEmpty());
}

void TestConsoleStatus::stateBoxNamesTheStates()
{
    Console console;
    QVERIFY(console.ui().TxtInetState->toolTip().isEmpty());
    console.inet->report(3, 0, QString());
    const QString tip = console.window->statusBar()->toolTip();
    QVERIFY(tip.contains(transferStateList()));
    for (int state = 0; state <= int(TransferState::ResponseCompleted); ++state)
        QVERIFY2(tip.contains(QString::number(state) + QLatin1Char(' ') +
                              transferStateName(TransferState(state))),
                 qPrintable(tip));
}

void TestConsoleStatus::protectionIsSpoken()
{
    Console console;
    QVERIFY(console.showActive());
    auto *indicator =
        console.window->statusBar()->findChild<QLabel *>(QStringLiteral("Protection"));
    QVERIFY(indicator);
    for (const QString &shown : {QStringLiteral("not encrypted"), QStringLiteral("TLS 1.2"),
                                 QStringLiteral("SSH aes128-ctr")}) {
        Q_EMIT console.inet->protectionChanged(shown);
        QCOMPARE(indicator->text(), shown);
        QVERIFY2(indicator->accessibleName().contains(shown),
                 qPrintable(indicator->accessibleName()));
    }
    Q_EMIT console.inet->protectionChanged(QString());
    QVERIFY(!indicator->accessibleName().contains(QLatin1String("SSH")));
}

void TestConsoleStatus::certificateProblems_data()
{
    QTest::addColumn<QString>("reason"); // libcurl's words
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QDateTime>("notAfter");
    QTest::addColumn<QStringList>("problems");
    const QDateTime valid = QDateTime::currentDateTimeUtc().addDays(300);
    const QDateTime past(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
    const QString selfSigned = QStringLiteral("SSL certificate problem: self-signed certificate");
    QTest::newRow("self-signed") << selfSigned << QStringList{"localhost"} << "localhost" << valid
                                 << QStringList{"it is self-signed: no authority vouches for it"};
    QTest::newRow("self-signed, for another name")
        << selfSigned << QStringList{"localhost"} << "127.0.0.1" << valid
        << QStringList{"it is self-signed: no authority vouches for it",
                       "it is made out to localhost, not to 127.0.0.1"};
    QTest::newRow("self-signed and expired")
        << selfSigned << QStringList{"files.example.org"} << "files.example.org" << past
        << QStringList{"it is self-signed: no authority vouches for it",
                       "it expired on 2020-01-02 03:04:05 UTC"};
    QTest::newRow("expired") << "SSL certificate problem: certificate has expired"
                             << QStringList{"files.example.org"} << "files.example.org" << past
                             << QStringList{"it expired on 2020-01-02 03:04:05 UTC"};
    QTest::newRow("unknown issuer, wildcard name")
        << "SSL certificate problem: unable to get local issuer certificate"
        << QStringList{"*.example.org"} << "FILES.example.org" << valid
        << QStringList{"no authority this computer trusts vouches for it"};
    QTest::newRow("wildcard covers one label")
        << "SSL certificate problem: unable to get local issuer certificate"
        << QStringList{"*.example.org"} << "a.b.example.org" << valid
        << QStringList{"no authority this computer trusts vouches for it",
                       "it is made out to *.example.org, not to a.b.example.org"};
    QTest::newRow("name alone")
        << "SSL: no alternative certificate subject name matches target host name 'x.example'"
        << QStringList{"other.example", "www.other.example"} << "x.example" << valid
        << QStringList{"it is made out to other.example, www.other.example, not to x.example"};
    QTest::newRow("anything else")
        << "SSL certificate problem: invalid CA certificate" << QStringList{"x.example"}
        << "x.example" << valid << QStringList{"invalid CA certificate"};
}

void TestConsoleStatus::certificateProblems()
{
    QFETCH(QString, reason);
    QFETCH(QStringList, names);
    QFETCH(QString, host);
    QFETCH(QDateTime, notAfter);
    QFETCH(QStringList, problems);
    TrustQuestion question;
    question.kind = TrustQuestion::Kind::Certificate;
    question.host = host;
    question.port = 990;
    question.reason = reason;
    question.names = names;
    question.notBefore = QDateTime(QDate(2019, 1, 1), QTime(0, 0), Qt::UTC);
    question.notAfter = notAfter;
    const QString details = trustQuestionDetails(question);
    QStringList said;
    const QString label = QStringLiteral("Problem: ");
    for (const QString &line : details.split(QLatin1Char('\n')))
        if (line.startsWith(label))
            said << line.mid(label.size());
    QCOMPARE(said, problems);
    QVERIFY2(!details.contains(QLatin1String("SSL")), qPrintable(details));
    // How long Yes holds, in the words every trust question uses.
    QVERIFY2(details.contains(QLatin1String("trusted by you for this session")) &&
                 details.contains(QLatin1String("until the window closes")),
             qPrintable(details));
}

QTEST_MAIN(TestConsoleStatus)
#include "tst_console_status.moc"
