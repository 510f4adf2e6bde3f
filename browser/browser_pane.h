#pragma once

#include <QString>
#include <QWidget>

// The console's browser pane: navigates to an address and reports every text
// a browser's status bar would show.
class BrowserPane : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual void navigate(const QString &address) = 0;

Q_SIGNALS:
    void statusTextChange(const QString &text);
};
