#include "text_prompt.h"

#include <QGuiApplication>
#include <QInputDialog>

QString DialogPrompt::ask(QWidget *parent, const QString &prompt, const QString &title, Echo echo)
{
    const QString caption = title.isEmpty() ? QGuiApplication::applicationDisplayName() : title;
    bool accepted = false;
    const QString answer = QInputDialog::getText(
        parent, caption, prompt, echo == Echo::Hidden ? QLineEdit::Password : QLineEdit::Normal,
        QString(), &accepted);
    return accepted ? answer : QString();
}
