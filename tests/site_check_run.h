#pragma once

// A site check through the real component, to its end: the outcome, each
// step as reported and the progress said while the steps ran.
#include "transfer_run.h"

#include <QMap>

using Rows = QMap<int, QString>; // step number → result word

struct CheckRun
{
    Outcome outcome;
    QList<SiteCheckStep> steps;
    QList<SiteCheckProgress> progress;

    Rows rows() const
    {
        Rows rows;
        for (const SiteCheckStep &step : steps)
            rows.insert(int(step.id), siteCheckResultWord(step.outcome.result));
        return rows;
    }
    QString detail(SiteCheckStepId id) const
    {
        for (const SiteCheckStep &step : steps)
            if (step.id == id)
                return step.outcome.detail;
        return {};
    }
    QString table() const
    {
        QStringList lines;
        for (const SiteCheckStep &step : steps)
            lines << QStringLiteral("%1 %2 %3 | %4")
                         .arg(siteCheckStepTitle(step.id), siteCheckResultWord(step.outcome.result),
                              step.outcome.detail, step.outcome.hint);
        return lines.join('\n') + '\n' + outcome.info;
    }
};

inline CheckRun check(CurlTransfer &transfer, const QString &command = QStringLiteral("CHECK"),
                      QList<bool> answers = {})
{
    CheckRun result;
    QObject context;
    QObject::connect(&transfer, &TransferComponent::siteCheckStep, &context,
                     [&](const SiteCheckStep &step) { result.steps << step; });
    QObject::connect(&transfer, &TransferComponent::siteCheckProgress, &context,
                     [&](const SiteCheckProgress &progress) { result.progress << progress; });
    result.outcome = run(transfer, command, answers);
    return result;
}
