#pragma once

#include "web_view.h"

#include <QObject>

// The web engine module's entry point: makes views on Qt WebEngine.
class WebEngineViewFactory final : public QObject, public WebViewFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID WebViewFactory_iid)
    Q_INTERFACES(WebViewFactory)
public:
    WebView *createView(QWidget *parent) override;
};
