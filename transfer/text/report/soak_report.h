#pragma once

#include "text/report/check_runs.h"
#include "text/soak/soak_plan.h"

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// One round of a soak as it ended: the file it sent, what the server kept
// and gave back, and the time each phase took.
struct SoakRound
{
    int number = 0; // from 1
    int rounds = 0; // of the soak's
    quint64 seed = 0;
    qint64 size = 0;                   // the bytes sent
    qint64 kept = -1;                  // the file's size on the server; -1 when not known
    qint64 readBack = -1;              // the bytes read back; -1 when not read back
    std::optional<SoakPhase> failedIn; // none: the round passed
    QString reason;                    // why it failed
    bool leftBehind = false;           // its file may still be on the server
    // Microseconds each phase took in this round, by SoakPhase; -1 for a
    // phase that did not run (connect and login run only on a new login).
    std::array<qint64, SoakPhaseCount> micros{-1, -1, -1, -1, -1, -1};

    bool passed() const { return !failedIn; }
};

// "The server kept 1000 of 4096 bytes" and the like: why a round failed.
QString soakKeptText(qint64 kept, qint64 sent);
QString soakReadBackText(qint64 received, qint64 sent, qint64 firstDifference);

// How often the rounds failed in one phase, and why the first of them did.
struct SoakFailureCount
{
    SoakPhase phase = SoakPhase::Connect;
    QString reason;
    int count = 0;
};

struct SoakSummary
{
    int rounds = 0;
    int passed = 0;
    int failed = 0;
    quint64 seed = 0;
    QList<SoakFailureCount> failures; // in the order of the phases
    QList<CheckSpread> phases;        // in seconds, by SoakPhase, named by soakPhaseKey
    CheckSpread uploadRate;           // bytes per second
    CheckSpread readBackRate;
};
SoakSummary summarizeSoak(const QList<SoakRound> &rounds);
// "2 x verify, the first: why".
QString soakFailureLine(const SoakFailureCount &failure);

// "12 rounds, 11 passed, 1 failed".
QString soakSummaryLine(const SoakSummary &summary);
// The summary as lines of text: its line, the seed, the failures by phase,
// the failed rounds, and a table of each phase's p50, p95 and max.
QStringList soakSummaryLines(const QString &target, const SoakSummary &summary,
                             const QList<SoakRound> &rounds);
// The summary and each round as JSON.
QJsonObject soakJson(const QString &target, const SoakSummary &summary,
                     const QList<SoakRound> &rounds);
// A round as one line: "Round 3 (16384 bytes): verify: why", or "...: passed".
// "Round 3 (16384 bytes)": a round as the reports name it.
QString soakRoundName(const SoakRound &round);
QString soakRoundLine(const SoakRound &round);
