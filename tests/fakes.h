#pragma once

#include "browser_pane.h"
#include "text_prompt.h"
#include "transfer_component.h"

#include <QQueue>
#include <QStringList>

#include <stdexcept>

// A transfer component that records what the console asks of it and reports
// whatever a test scripts.
class FakeTransfer final : public TransferComponent
{
    Q_OBJECT
public:
    QString URL() const override { return url; }
    void setURL(const QString &value) override
    {
        url = value;
        calls << QStringLiteral("URL");
    }
    QString UserName() const override { return user; }
    void setUserName(const QString &value) override
    {
        user = value;
        calls << QStringLiteral("UserName");
    }
    void setPassword(const QString &value) override
    {
        password = value;
        calls << QStringLiteral("Password");
    }

    void Execute(const QString &operation) override
    {
        if (!failure.isEmpty())
            throw std::runtime_error(failure.toStdString());
        executed << operation;
        calls << QStringLiteral("Execute");
    }
    QString GetChunk(int size) override
    {
        chunkSizes << size;
        return chunks.isEmpty() ? QString() : chunks.dequeue();
    }
    qint32 ResponseCode() const override { return code; }
    QString ResponseInfo() const override { return info; }
    bool StillExecuting() const override { return executing; }
    void answerTrust(bool trusted) override { trustAnswers << trusted; }

    // Reports a state with the reply the console should read for it.
    void report(qint16 state, qint32 replyCode, const QString &replyInfo)
    {
        code = replyCode;
        info = replyInfo;
        Q_EMIT StateChanged(state);
    }

    QString url, user, password, failure;
    QStringList executed;
    QStringList calls; // settings set and calls made, in order
    QQueue<QString> chunks;
    QList<int> chunkSizes;
    QList<bool> trustAnswers;
    qint32 code = 0;
    QString info;
    bool executing = false;
};

// A browser pane that records navigations; tests and benchmarks emit its
// status texts.
class FakeBrowserPane final : public BrowserPane
{
    Q_OBJECT
public:
    void navigate(const QString &address) override { navigations << address; }
    QStringList navigations;
};

// Prompt answers scripted in advance; a null QString stands for Cancel, and a
// yes/no question without a scripted answer is answered No.
class ScriptedPrompt final : public TextPrompt
{
public:
    struct Asked
    {
        QString prompt;
        QString title;
        Echo echo;
    };
    struct Confirmed
    {
        QString question;
        QString details;
    };
    QString ask(QWidget *, const QString &prompt, const QString &title, Echo echo) override
    {
        asked.append({prompt, title, echo});
        return answers.isEmpty() ? QString() : answers.dequeue();
    }
    bool confirm(QWidget *, const QString &question, const QString &details) override
    {
        confirmed.append({question, details});
        return !confirmations.isEmpty() && confirmations.dequeue();
    }
    QQueue<QString> answers;
    QList<Asked> asked;
    QQueue<bool> confirmations;
    QList<Confirmed> confirmed;
};
