#pragma once

#include "browser_pane.h"

class QWebEngineProfile;
class QWebEngineView;

// Must run before the QApplication is made: settings the web engine reads
// once at start (its sandbox when running as root, no background traffic of
// its own, shared GL contexts).
void prepareBrowserEngine();

// The browser pane on Qt WebEngine. The engine is heavy, so it is created on
// the first navigation; until then the pane is a blank widget.
class WebBrowserPane final : public BrowserPane
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebBrowserPane)
public:
    explicit WebBrowserPane(QWidget *parent = nullptr);
    ~WebBrowserPane() override;

    void navigate(const QString &address) override;
    bool engineStarted() const { return m_view != nullptr; }

private:
    void startEngine();

    QWebEngineProfile *m_profile = nullptr;
    QWebEngineView *m_view = nullptr;
};
