#pragma once

#include <QString>

class QWidget;

// The operator's modal questions. A text prompt: a question, an optional title
// (the application's name when empty), and whether to hide what is typed; it
// returns the answer, or the empty string when the operator cancels. A yes/no
// question with details to read before answering; No unless the operator
// chooses Yes.
class TextPrompt
{
public:
    enum class Echo { Normal, Hidden };

    virtual ~TextPrompt() = default;
    virtual QString ask(QWidget *parent, const QString &prompt, const QString &title = {},
                        Echo echo = Echo::Normal) = 0;
    virtual bool confirm(QWidget *parent, const QString &question, const QString &details) = 0;
};

// The prompts as Qt dialogs.
class DialogPrompt final : public TextPrompt
{
public:
    QString ask(QWidget *parent, const QString &prompt, const QString &title, Echo echo) override;
    bool confirm(QWidget *parent, const QString &question, const QString &details) override;
};
