#pragma once

#include <QString>

class QWidget;

// The modal text prompt: a question, an optional title (the application's
// name when empty), and whether to hide what is typed. Returns the answer, or
// the empty string when the operator cancels.
class TextPrompt
{
public:
    enum class Echo { Normal, Hidden };

    virtual ~TextPrompt() = default;
    virtual QString ask(QWidget *parent, const QString &prompt, const QString &title = {},
                        Echo echo = Echo::Normal) = 0;
};

// The prompt as a Qt input dialog.
class DialogPrompt final : public TextPrompt
{
public:
    QString ask(QWidget *parent, const QString &prompt, const QString &title, Echo echo) override;
};
