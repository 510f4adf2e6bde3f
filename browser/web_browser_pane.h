#pragma once

#include "browser_pane.h"

class WebView;
class WebViewFactory;

// Must run before the QApplication is made: settings the web engine reads
// once at start (its sandbox when running as root, no background traffic of
// its own).
void prepareBrowserEngine();

// The web engine module once loaded: it stays loaded for the rest of the
// program, as the views' code lives in it.
struct WebEngineModule
{
    WebViewFactory *factory = nullptr;
    QString file;
};

// Loads the module on the first call: from beside the installed program
// first, then from where the build put it. Throws std::runtime_error naming
// each place tried when neither works.
const WebEngineModule &loadWebEngineModule();

// The browser pane on Qt WebEngine. The engine is heavy, so its module is
// loaded and the view made on the first navigation; until then the pane is a
// blank widget. A navigation fails with std::runtime_error when the engine
// cannot be loaded.
class WebBrowserPane final : public BrowserPane
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebBrowserPane)
public:
    explicit WebBrowserPane(QWidget *parent = nullptr);

    void navigate(const QString &address) override;
    bool engineStarted() const { return m_view != nullptr; }

private:
    void startEngine();

    WebView *m_view = nullptr;
};
