#include "text_prompt.h"

#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace {

// A message box takes text that looks like markup as markup; what a server
// sent (a certificate's subject) or an operator typed (a host) is shown as
// written, whichever way the box reads it.
QString asRichText(const QString &text)
{
    if (text.isEmpty())
        return text;
    return QLatin1String("<p>") +
           text.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>")) +
           QLatin1String("</p>");
}

} // namespace

QString DialogPrompt::ask(QWidget *parent, const QString &prompt, const QString &title, Echo echo)
{
    const QString caption = title.isEmpty() ? QGuiApplication::applicationDisplayName() : title;
    bool accepted = false;
    const QString answer = QInputDialog::getText(
        parent, caption, prompt, echo == Echo::Hidden ? QLineEdit::Password : QLineEdit::Normal,
        QString(), &accepted);
    return accepted ? answer : QString();
}

bool DialogPrompt::confirm(QWidget *parent, const QString &question, const QString &details)
{
    QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                    asRichText(question), QMessageBox::Yes | QMessageBox::No, parent);
    // A hasty Enter must not trust a server: No is the default.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.setInformativeText(asRichText(details));
    // Wide enough that a fingerprint stays on one line, where the operator
    // compares it with the one the server's owner gives.
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 48em; }"));
    // The operator may want to copy a fingerprint to compare it elsewhere.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return box.exec() == QMessageBox::Yes;
}
