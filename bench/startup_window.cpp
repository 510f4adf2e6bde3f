// Opens the console window and exits as soon as it is shown, printing
// "shown". Built twice: with the lazy web pane of the real program, and with
// a blank pane and no web engine linked at all, for bench_console to compare.
#include "browser_pane.h"
#include "console_window.h"
#include "curl_transfer.h"
#include "text_prompt.h"

#ifdef SARVEL_LAZY_PANE
#include "web_browser_pane.h"
#endif

#include <QApplication>
#include <QWindow>

#include <cstdio>

namespace {

class BlankPane final : public BrowserPane
{
public:
    void navigate(const QString &) override {}
};

// Quits once the window is on the screen.
class ShownWatcher final : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            std::puts("shown");
            std::fflush(stdout);
            QCoreApplication::exit(0);
        }
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
#ifdef SARVEL_LAZY_PANE
    prepareBrowserEngine();
#endif
    QApplication app(argc, argv);
    ConsoleWindow::Parts parts;
    parts.inet = new CurlTransfer;
#ifdef SARVEL_LAZY_PANE
    parts.browser = new WebBrowserPane;
#else
    parts.browser = new BlankPane;
#endif
    parts.prompt = std::make_unique<DialogPrompt>();
    ConsoleWindow window(std::move(parts));
    ShownWatcher watcher;
    window.winId(); // makes the native window, so its expose can be watched
    window.windowHandle()->installEventFilter(&watcher);
    window.show();
    return app.exec();
}
