#include "web_engine_view.h"

#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace {

// A view with a profile of its own, off the record: nothing the pane loads
// is kept on disk.
class EngineView final : public QWebEngineView
{
public:
    explicit EngineView(QWidget *parent) : QWebEngineView(parent)
    {
        setPage(new QWebEnginePage(new QWebEngineProfile(this), this));
    }
    // A page must go before its profile; as children both would go in the
    // order they were made, profile first.
    ~EngineView() override { delete page(); }
};

} // namespace

extern "C" Q_DECL_EXPORT QWidget *sarvelCreateWebView(QWidget *parent, StatusTextSink sink,
                                                      void *context)
{
    auto *view = new EngineView(parent);
    QWebEnginePage *page = view->page();

    // What a browser's status bar shows: a link's address under the pointer
    // (empty when it leaves), and each load starting and ending.
    QObject::connect(page, &QWebEnginePage::linkHovered, view,
                     [sink, context](const QString &url) { sink(context, url); });
    QObject::connect(
        page, &QWebEnginePage::loadingChanged, view,
        [sink, context](const QWebEngineLoadingInfo &info) {
            const QString url = info.url().toDisplayString();
            switch (info.status()) {
            case QWebEngineLoadingInfo::LoadStartedStatus:
                sink(context, QStringLiteral("Opening page %1...").arg(url));
                break;
            case QWebEngineLoadingInfo::LoadSucceededStatus:
                sink(context, QStringLiteral("Done: %1").arg(url));
                break;
            case QWebEngineLoadingInfo::LoadStoppedStatus:
                sink(context, QStringLiteral("Stopped: %1").arg(url));
                break;
            case QWebEngineLoadingInfo::LoadFailedStatus:
                sink(context, QStringLiteral("Could not open %1: %2").arg(url, info.errorString()));
                break;
            }
        });
    return view;
}

extern "C" Q_DECL_EXPORT void sarvelNavigateWebView(QWidget *view, const QUrl &url)
{
    static_cast<QWebEngineView *>(view)->setUrl(url);
}
