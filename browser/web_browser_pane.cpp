#include "web_browser_pane.h"

#include "browser_address.h"
#include "web_engine_view.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QOpenGLContext>
#include <QVBoxLayout>

#include <stdexcept>

#include <unistd.h>

// Qt GUI's own hook for the context that Qt::AA_ShareOpenGLContexts makes at
// start; exported by Qt GUI, though only its private headers declare it.
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

namespace {

// Qt WebEngine renders through a context shared with every window. Setting
// Qt::AA_ShareOpenGLContexts before the application starts would make it at
// start-up and cost every start as much as the whole window; made here, only
// the first navigation pays.
void ensureSharedGLContext()
{
    if (qt_gl_global_share_context())
        return;
    auto *context = new QOpenGLContext(qApp);
    if (!context->create())
        throw std::runtime_error("The browser engine needs OpenGL, which is not available here.");
    qt_gl_set_global_share_context(context);
}

} // namespace

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
    ensureSharedGLContext();
    // The module stays loaded for the rest of the program: the view's code lives in it.
    QLibrary module(QStringLiteral(SARVEL_WEB_ENGINE_MODULE));
    module.setLoadHints(QLibrary::PreventUnloadHint);
    const auto create =
        reinterpret_cast<CreateWebViewFunction>(module.resolve(CreateWebViewSymbol));
    const auto navigate =
        reinterpret_cast<NavigateWebViewFunction>(module.resolve(NavigateWebViewSymbol));
    if (!create || !navigate)
        throw std::runtime_error(QStringLiteral("The browser engine could not be loaded: %1")
                                     .arg(module.errorString())
                                     .toStdString());

    const StatusTextSink sink = [](void *pane, const QString &text) {
        Q_EMIT static_cast<WebBrowserPane *>(pane)->statusTextChange(text);
    };
    m_view = create(this, sink, this);
    m_navigate = navigate;
    layout()->addWidget(m_view);
    setFocusProxy(m_view);
}

void WebBrowserPane::navigate(const QString &address)
{
    if (!m_view)
        startEngine();
    m_navigate(m_view, browserUrlFor(address));
}
