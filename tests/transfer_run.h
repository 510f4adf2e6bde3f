#pragma once

// Running the real transfer component in tests: one operation to its end,
// with everything it reported.
#include "curl_transfer.h"
#include "test_files.h"

#include <QFile>
#include <QSignalSpy>

struct Outcome
{
    QList<TransferState> states;
    QList<TrustQuestion> questions;
    QStringList protocol;
    qint32 code = 0;
    QString info;
    bool ok = false;
};

// Runs one operation to its end, answering each question with `answers` in turn.
inline Outcome run(CurlTransfer &transfer, const QString &operation, QList<bool> answers = {})
{
    Outcome outcome;
    QObject context;
    QObject::connect(&transfer, &TransferComponent::StateChanged, &context, [&](qint16 state) {
        outcome.states << TransferState(state);
        outcome.code = transfer.ResponseCode();
        outcome.info = transfer.ResponseInfo();
    });
    QObject::connect(&transfer, &TransferComponent::protocolEvent, &context,
                     [&](const ProtocolEvent &event) { outcome.protocol << event.text; });
    QObject::connect(&transfer, &TransferComponent::trustQuestion, &context,
                     [&](const TrustQuestion &question) {
                         outcome.questions << question;
                         transfer.answerTrust(!answers.isEmpty() && answers.takeFirst());
                     });
    QSignalSpy finished(&transfer, &TransferComponent::finished);
    transfer.Execute(operation);
    if (finished.wait(30000))
        outcome.ok = finished.first().first().toBool();
    return outcome;
}
