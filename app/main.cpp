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

    ConsoleWindow::Parts parts;
    parts.inet = new CurlTransfer;
    parts.browser = new WebBrowserPane;
    parts.prompt = std::make_unique<DialogPrompt>();
    parts.photoFolder = photoFolder();
    ConsoleWindow window(std::move(parts));
    window.show();
    return app.exec();
}
