#include "web_browser_pane.h"

#include "browser_address.h"
#include "shared_gl_context.h"
#include "web_view.h"

#include <QCoreApplication>
#include <QDir>
#include <QPluginLoader>
#include <QVBoxLayout>

#include <stdexcept>

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
}

const WebEngineModule &loadWebEngineModule()
{
    static WebEngineModule module;
    if (module.factory)
        return module;
    // Qt WebEngine looks for the shared context as its library loads.
    ensureSharedGLContext();
    // Relative to the program, so that an installed tree works wherever it
    // was put (a package's staging folder as well as /usr).
    const QStringList places = {
        QCoreApplication::applicationDirPath() +
            QStringLiteral("/" SARVEL_WEB_ENGINE_MODULE_FROM_BIN "/" SARVEL_WEB_ENGINE_MODULE_NAME),
        QStringLiteral(SARVEL_WEB_ENGINE_MODULE_BUILT)};
    QStringList failures;
    for (const QString &place : places) {
        QPluginLoader loader(QDir::cleanPath(place));
        QObject *instance = loader.instance();
        if (auto *factory = qobject_cast<WebViewFactory *>(instance)) {
            module = {factory, loader.fileName()};
            return module;
        }
        failures << QStringLiteral("%1: %2").arg(
            QDir::cleanPath(place),
            instance ? QStringLiteral("not a Sarvel web engine module") : loader.errorString());
    }
    throw std::runtime_error(QStringLiteral("The web engine module could not be loaded: %1")
                                 .arg(failures.join(QStringLiteral("; ")))
                                 .toStdString());
}

WebBrowserPane::WebBrowserPane(QWidget *parent) : BrowserPane(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void WebBrowserPane::startEngine()
{
    m_view = loadWebEngineModule().factory->createView(this);
    connect(m_view, &WebView::statusTextChange, this, &BrowserPane::statusTextChange);
    layout()->addWidget(m_view);
    setFocusProxy(m_view);
}

void WebBrowserPane::navigate(const QString &address)
{
    if (!m_view)
        startEngine();
    m_view->navigate(browserUrlFor(address));
}
