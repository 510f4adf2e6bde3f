#pragma once

#include <QtPlugin>
#include <QWidget>

class QUrl;

// A web view made by the web engine module: shows pages and reports every
// text a browser's status bar would show.
//
// Both the program and the module compile this class's meta-object. A signal
// is found by its index, which follows QWidget's own signals in either copy,
// so the pane's pointer-to-member connect receives the module's emits.
class WebView : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual void navigate(const QUrl &url) = 0;

Q_SIGNALS:
    void statusTextChange(const QString &text);
};

// What the web engine module offers: it is loaded with QPluginLoader on the
// first navigation, so that only a program that navigates pays for loading
// Qt WebEngine.
class WebViewFactory
{
public:
    virtual ~WebViewFactory() = default;

    // A new view inside `parent`, owned by it.
    virtual WebView *createView(QWidget *parent) = 0;
};

#define WebViewFactory_iid "io.github.sarvel.sarvel.WebViewFactory/1"
Q_DECLARE_INTERFACE(WebViewFactory, WebViewFactory_iid)
