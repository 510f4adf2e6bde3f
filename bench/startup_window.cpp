// Opens the console window and exits as soon as it is shown, printing
// "shown". Built twice: with the lazy web pane of the real program, and with
// the tests' fake pane and no web engine linked at all, for bench_console to
// compare.
#include "console_window.h"
#include "curl_transfer.h"
#include "text_prompt.h"

#ifdef SARVEL_LAZY_PANE
#include "web_browser_pane.h"
#else
#include "fakes.h"
#endif

#include <QApplication>
#include <QWindow>

#include <cstdio>

namespace {

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
#ifdef SARVEL_LAZY_PANE
    auto *pane = new WebBrowserPane;
#else
    auto *pane = new FakeBrowserPane;
#endif
    const auto window = makeConsoleWindow(new CurlTransfer, pane, std::make_unique<DialogPrompt>());
    ShownWatcher watcher;
    window->winId(); // makes the native window, so its expose can be watched
    window->windowHandle()->installEventFilter(&watcher);
    window->show();
    return app.exec();
}
