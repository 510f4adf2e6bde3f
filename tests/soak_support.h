#pragma once

// Soak rounds as the tests of its summary and its window make them.
#include "text/report/soak_formats.h"

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

// Four rounds of up to 65537 bytes, the third cut short by the server, the
// first on a new login.
inline SoakDocument fourRounds()
{
    SoakDocument soak;
    soak.target = QStringLiteral("ftp://127.0.0.1:21/in");
    soak.started = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
    soak.durationMs = 1500;
    soak.rounds = {soakRound(1, 4, 1, 10), soakRound(2, 4, 16383, 20),
                   soakRound(3, 4, 16384, 30, SoakPhase::Verify, 8192, soakKeptText(8192, 16384)),
                   soakRound(4, 4, 65537, 40)};
    soak.rounds[0].micros[size_t(SoakPhase::Connect)] = 5000;
    soak.rounds[0].micros[size_t(SoakPhase::Login)] = 7000;
    return soak;
}
