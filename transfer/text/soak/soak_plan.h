#pragma once

#include "text/transfer_values.h"

#include <QtGlobal>

#include <optional>

// What a soak (SOAK, `sarvel --soak`) does in each round, decided from its
// seed alone, so that a run can be repeated: the size of each round's file
// and its bytes, and the phase a failed request is counted in.

// The largest file a round sends unless told otherwise, 4 MiB.
inline constexpr qint64 DefaultSoakMaxSize = 4 * 1024 * 1024;

// How the soak's rounds are sized: at most `maxSize` bytes each, from `seed`.
struct SoakSettings
{
    qint64 maxSize = DefaultSoakMaxSize;
    std::optional<quint64> seed; // none: a seed of the system's own
};

// The size of round `round` (from 0): first the sizes around the buffers'
// edges (1, 16383, 16384 and 65537 bytes) that fit under `maxSize`, then
// sizes from 1 to `maxSize` drawn from `seed`.
qint64 soakRoundSize(quint64 seed, int round, qint64 maxSize);
// The sizes a soak tries first, before the drawn ones.
QList<qint64> soakEdgeSizes();

// The bytes of round `round`'s file from `offset` on, `length` of them, into
// `data`: the same for the same seed and round, wherever a read starts.
void soakFill(quint64 seed, int round, qint64 offset, char *data, qint64 length);

// The phases a round goes through, in order; a failed round is counted in
// the one it failed in.
enum class SoakPhase { Connect, Login, Upload, Verify, ReadBack, Delete };
inline constexpr int SoakPhaseCount = 6;
// "connect", "login", "upload", "verify", "read back", "delete".
QString soakPhaseName(SoakPhase phase);
// The same as a name for machines: "read_back" for "read back".
QString soakPhaseKey(SoakPhase phase);

// The phase a failed request of `request` counts in: one that set out to
// make a new login (its times say so), or that had none standing
// (`loginStood` false) and says nothing, fails in the connection
// when it never had the server's greeting (or SSH key exchange), in the
// login when it had but did not log in; one on a standing login, and one
// whose new login went well, in its own phase.
SoakPhase soakFailedPhase(SoakPhase request, bool loginStood, const PhaseTimes &times);
