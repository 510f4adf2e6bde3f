#pragma once

#include "text/report/check_formats.h"
#include "text/report/soak_report.h"

// The soak's summary in the forms the terminal check writes (`sarvel --soak
// --format`), each a function of the rounds alone.

// What a soak's report says besides its rounds.
struct SoakDocument
{
    QString target; // "ftp://host:port/folder", no account
    QDateTime started;
    qint64 durationMs = 0;
    QList<SoakRound> rounds;
};

QByteArray soakOutput(CheckFormat format, const SoakDocument &soak,
                      const CheckOutputContext &context);

// The exit code of a soak: CheckOk when every round passed, CheckCritical
// when one failed (or none ran).
CheckExitCode soakExitCode(const QList<SoakRound> &rounds);
