#include "web_browser_pane.h"

#include "browser_address.h"

#include <QCoreApplication>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <unistd.h>

void prepareBrowserEngine()
{
    // Chromium refuses to run its sandbox as root; Qt documents this switch.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The pane shows the pages the operator asks for and nothing else: no
    // update checks, sync, safe-browsing or other requests of the engine's own.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += " --disable-background-networking --disable-component-update --disable-sync"
             " --disable-domain-reliability --no-pings --disable-breakpad";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

WebBrowserPane::WebBrowserPane(QWidget *parent) : BrowserPane(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

WebBrowserPane::~WebBrowserPane()
{
    // The page must go before the profile it was made with.
    delete m_view;
}

void WebBrowserPane::startEngine()
{
    // Off the record: nothing the pane loads is kept on disk.
    m_profile = new QWebEngineProfile(this);
    m_view = new QWebEngineView(this);
    m_view->setPage(new QWebEnginePage(m_profile, m_view));
    layout()->addWidget(m_view);
    setFocusProxy(m_view);

    QWebEnginePage *page = m_view->page();
    connect(page, &QWebEnginePage::linkHovered, this, &BrowserPane::statusTextChange);
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        const QString url = info.url().toDisplayString();
        switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            Q_EMIT statusTextChange(tr("Opening page %1...").arg(url));
            break;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            Q_EMIT statusTextChange(tr("Done: %1").arg(url));
            break;
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            Q_EMIT statusTextChange(tr("Stopped: %1").arg(url));
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus:
            Q_EMIT statusTextChange(tr("Could not open %1: %2").arg(url, info.errorString()));
            break;
        }
    });
}

void WebBrowserPane::navigate(const QString &address)
{
    if (!m_view)
        startEngine();
    m_view->setUrl(browserUrlFor(address));
}
