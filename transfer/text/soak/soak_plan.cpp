#include "text/soak/soak_plan.h"

#include <QList>
#include <QString>

#include <cstring>
#include <iterator>

namespace {

const qint64 EdgeSizes[] = {1, 16383, 16384, 65537};

const char *const PhaseNames[] = {"connect", "login", "upload", "verify", "read back", "delete"};

// SplitMix64: a small generator whose every output is a pure function of
// its input, so that any block of a file can be made on its own.
quint64 mix(quint64 value)
{
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

} // namespace

QList<qint64> soakEdgeSizes()
{
    return QList<qint64>(std::begin(EdgeSizes), std::end(EdgeSizes));
}

qint64 soakRoundSize(quint64 seed, int round, qint64 maxSize)
{
    maxSize = qMax<qint64>(1, maxSize);
    int edges = 0;
    for (qint64 size : EdgeSizes) {
        if (size > maxSize)
            continue;
        if (edges++ == round)
            return size;
    }
    return qint64(mix(mix(seed) ^ quint64(round)) % quint64(maxSize)) + 1;
}

void soakFill(quint64 seed, int round, qint64 offset, char *data, qint64 length)
{
    const quint64 key = mix(seed ^ (quint64(round) << 40));
    while (length > 0) {
        const qint64 block = offset / 8;
        const qint64 within = offset % 8;
        const quint64 value = mix(key + quint64(block));
        unsigned char bytes[8];
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<unsigned char>(value >> (8 * i));
        const qint64 count = qMin<qint64>(8 - within, length);
        std::memcpy(data, bytes + within, size_t(count));
        data += count;
        offset += count;
        length -= count;
    }
}

QString soakPhaseName(SoakPhase phase)
{
    return QLatin1String(PhaseNames[int(phase)]);
}

QString soakPhaseKey(SoakPhase phase)
{
    return soakPhaseName(phase).replace(QLatin1Char(' '), QLatin1Char('_'));
}

SoakPhase soakFailedPhase(SoakPhase request, bool loginStood, const PhaseTimes &times)
{
    const bool greeted = times.greeting >= 0 || times.keyExchange >= 0 || times.login >= 0;
    // A request that set out to connect has its name lookup timed.
    const bool newLogin = times.resolve >= 0 || times.connect >= 0 || greeted;
    if (!newLogin && loginStood)
        return request;
    if (!greeted)
        return SoakPhase::Connect;
    if (times.login < 0)
        return SoakPhase::Login;
    return request;
}
