#pragma once

// Soak rounds as the tests of its summary and its window make them.
#include "text/report/soak_report.h"

inline constexpr quint64 TestSoakSeed = 42;

// Round `number` of `rounds`, of `size` bytes, that took `ms` milliseconds
// in each of upload, verify, read back and delete on a standing login;
// failed in `failedIn` for `reason` with `kept` bytes on the server.
inline SoakRound soakRound(int number, int rounds, qint64 size, qint64 ms,
                           std::optional<SoakPhase> failedIn = {}, qint64 kept = -1,
                           const QString &reason = {})
{
    SoakRound r;
    r.number = number;
    r.rounds = rounds;
    r.seed = TestSoakSeed;
    r.size = size;
    r.kept = kept < 0 ? size : kept;
    r.readBack = failedIn ? -1 : size;
    r.failedIn = failedIn;
    r.reason = reason;
    for (SoakPhase p :
         {SoakPhase::Upload, SoakPhase::Verify, SoakPhase::ReadBack, SoakPhase::Delete})
        r.micros[size_t(p)] = ms * 1000;
    return r;
}
