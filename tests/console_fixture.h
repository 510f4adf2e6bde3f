#pragma once

#include "console_window.h"
#include "fakes.h"
#include "text_box.h"

#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

// The button of `window` that reads `text`; null when there is none.
inline QPushButton *button(const QWidget *window, const QString &text)
{
    for (QPushButton *candidate : window->findChildren<QPushButton *>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

// Whether the keyboard focus is on `control` or a part of it.
inline bool hasFocusWithin(const QWidget *control)
{
    for (const QWidget *widget = QApplication::focusWidget(); widget;
         widget = widget->parentWidget())
        if (widget == control)
            return true;
    return false;
}

// The console window with fakes at its seams, and the moves an operator makes.
struct Console
{
    FakeTransfer *inet = new FakeTransfer;
    FakeBrowserPane *pane = new FakeBrowserPane;
    ScriptedPrompt *prompt = new ScriptedPrompt;
    QTemporaryDir photos;
    std::unique_ptr<ConsoleWindow> window =
        makeConsoleWindow(inet, pane, std::unique_ptr<TextPrompt>(prompt), photos.path());

    const FmInternetUi &ui() const { return window->ui(); }
    QString statusMessage() const { return window->statusBar()->currentMessage(); }
    QString statusBox() const { return boxText(ui().TxtBrowserStatus); }

    bool showActive()
    {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }
    // Picks a site as the operator does: focus the list, choose, Tab away.
    void chooseSite(int position)
    {
        ui().Combo1->setFocus(Qt::MouseFocusReason);
        ui().Combo1->setCurrentIndex(position);
        QTest::keyClick(ui().Combo1, Qt::Key_Tab);
    }
    void addSite(const QStringList &answers)
    {
        for (const QString &answer : answers)
            prompt->answers.enqueue(answer);
        QTest::mouseClick(ui().ComAddSite, Qt::LeftButton);
    }
};
