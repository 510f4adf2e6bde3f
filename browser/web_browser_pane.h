#pragma once

#include "browser_pane.h"

// Must run before the QApplication is made: settings the web engine reads
// once at start (its sandbox when running as root, no background traffic of
// its own).
void prepareBrowserEngine();

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

    QWidget *m_view = nullptr;
    void (*m_navigate)(QWidget *, const QUrl &) = nullptr;
};
