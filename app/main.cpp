#include "check/site_check_terminal.h"
#include "console_window.h"
#include "curl_transfer.h"
#include "demo_server.h"
#include "photo_listing.h"
#include "soak/soak_terminal.h"
#include "text/visible_controls.h"
#include "text_prompt.h"
#include "web_browser_pane.h"

#include <QApplication>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

// With SARVEL_QUIT_WHEN_SHOWN set, the program checks that an installed tree
// is whole, headless: once the window is on the screen it loads the web
// engine module, says where from, and quits.
class ShownCheck final : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Expose || !static_cast<QWindow *>(watched)->isExposed())
            return false;
        watched->removeEventFilter(this);
        std::puts("shown");
        try {
            std::printf("web engine module: %s\n", qPrintable(loadWebEngineModule().file));
            QCoreApplication::exit(0);
        } catch (const std::exception &failure) {
            std::printf("%s\n", failure.what());
            QCoreApplication::exit(1);
        }
        std::fflush(stdout);
        return false;
    }
};

// Every message for standard error, a server's text among them (the
// protocol lines of the transfer's log category), with its control
// characters made visible: a greeting holding "ESC ]0;...BEL" or "ESC [2J"
// would otherwise retitle or clear the terminal the program was started from.
void writeVisibly(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray line =
        withVisibleControls(qFormatLogMessage(type, context, message)).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(writeVisibly);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Neither needs a display.
    if (wantsUsageOrVersion(arguments))
        return printUsageOrVersion(arguments, stdout);
    if (wantsSiteCheckInTerminal(arguments) || wantsSoakInTerminal(arguments)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Sarvel"));
        QCoreApplication::setApplicationVersion(sarvelVersion());
        if (wantsSoakInTerminal(arguments))
            return runSoakInTerminal(arguments, stdout, stderr);
        return runSiteCheckInTerminal(arguments, stdout, stderr);
    }
    prepareBrowserEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sarvel"));
    QApplication::setApplicationVersion(sarvelVersion());
    QApplication::setApplicationDisplayName(QStringLiteral("Sarvel"));
    // Ties the window to its desktop entry (its icon and name in the shell).
    QGuiApplication::setDesktopFileName(QStringLiteral(SARVEL_APP_ID));

    // Made before the window and so gone after it: the window may still
    // report a site choice while it closes. Both serve the same folder.
    DemoServer ftpDemo(DemoServer::bundledFiles(), DemoServer::defaultRoot());
    DemoServer sftpDemo(DemoServer::bundledFiles(DemoServer::Kind::Sftp), DemoServer::defaultRoot(),
                        DemoServer::Kind::Sftp);
    const auto window = makeConsoleWindow(new CurlTransfer, new WebBrowserPane,
                                          std::make_unique<DialogPrompt>(), photoFolder());
    QObject::connect(window.get(), &ConsoleWindow::siteChosen, window.get(),
                     [&](const QString &address) {
                         for (DemoServer *demo : {&ftpDemo, &sftpDemo})
                             window->runHandler([&] { demo->siteChosen(address); });
                     });

    ShownCheck shownCheck;
    if (qEnvironmentVariableIsSet("SARVEL_QUIT_WHEN_SHOWN")) {
        window->winId(); // makes the native window, so its expose can be watched
        window->windowHandle()->installEventFilter(&shownCheck);
    }
    window->show();
    return app.exec();
}
