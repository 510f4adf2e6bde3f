#include "console_window.h"
#include "curl_transfer.h"
#include "photo_listing.h"
#include "text_prompt.h"
#include "web_browser_pane.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareBrowserEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sarvel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Sarvel"));

    const auto window = makeConsoleWindow(new CurlTransfer, new WebBrowserPane,
                                          std::make_unique<DialogPrompt>(), photoFolder());
    window->show();
    return app.exec();
}
