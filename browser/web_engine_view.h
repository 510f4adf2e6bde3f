#pragma once

// What the web engine module offers the pane, resolved by name at run time.
// Built as a module of its own so that only a program that navigates pays
// for loading Qt WebEngine.

class QString;
class QUrl;
class QWidget;

// Receives each status text of a view.
using StatusTextSink = void (*)(void *context, const QString &text);

// Makes a web view inside `parent` that reports its status texts to `sink`.
using CreateWebViewFunction = QWidget *(*)(QWidget *parent, StatusTextSink sink, void *context);
// Sends a view made by the function above to `url`.
using NavigateWebViewFunction = void (*)(QWidget *view, const QUrl &url);

inline constexpr char CreateWebViewSymbol[] = "sarvelCreateWebView";
inline constexpr char NavigateWebViewSymbol[] = "sarvelNavigateWebView";
