#include "web_engine_view.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace {

// A view with a profile of its own, off the record: nothing the pane loads
// is kept on disk.
class EngineView final : public WebView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EngineView)
public:
    explicit EngineView(QWidget *parent);
    // A page must go before its profile; as children both would go in the
    // order they were made, profile first.
    ~EngineView() override { delete m_view->page(); }

    void navigate(const QUrl &url) override { m_view->setUrl(url); }

private:
    void onLoadingChanged(const QWebEngineLoadingInfo &info);

    QWebEngineView *m_view;
};

EngineView::EngineView(QWidget *parent) : WebView(parent), m_view(new QWebEngineView(this))
{
    auto *page = new QWebEnginePage(new QWebEngineProfile(this), m_view);
    m_view->setPage(page);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    // What a browser's status bar shows: a link's address under the pointer
    // (empty when it leaves), and each load starting and ending.
    connect(page, &QWebEnginePage::linkHovered, this, &WebView::statusTextChange);
    connect(page, &QWebEnginePage::loadingChanged, this, &EngineView::onLoadingChanged);
}

void EngineView::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    const QString url = info.url().toDisplayString();
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        Q_EMIT statusTextChange(QStringLiteral("Opening page %1...").arg(url));
        break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        Q_EMIT statusTextChange(QStringLiteral("Done: %1").arg(url));
        break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        Q_EMIT statusTextChange(QStringLiteral("Stopped: %1").arg(url));
        break;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        Q_EMIT statusTextChange(
            QStringLiteral("Could not open %1: %2").arg(url, info.errorString()));
        break;
    }
}

} // namespace

WebView *WebEngineViewFactory::createView(QWidget *parent)
{
    return new EngineView(parent);
}

#include "web_engine_view.moc"
