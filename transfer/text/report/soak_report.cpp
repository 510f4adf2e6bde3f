#include "text/report/soak_report.h"

#include <QJsonArray>

#include <algorithm>

namespace {

double seconds(qint64 micros)
{
    return micros < 0 ? -1.0 : double(micros) / 1e6;
}

// Bytes per second over `micros`, or -1 when the phase did not run.
double rate(qint64 bytes, qint64 micros)
{
    if (bytes < 0 || micros < 0)
        return -1;
    return double(bytes) / std::max(1e-6, seconds(micros));
}

} // namespace

QString soakKeptText(qint64 kept, qint64 sent)
{
    return QStringLiteral("the server kept %1 of the %2 bytes sent").arg(kept).arg(sent);
}

QString soakReadBackText(qint64 received, qint64 sent, qint64 firstDifference)
{
    if (firstDifference >= 0)
        return QStringLiteral("the file read back differs from the one sent from byte %1 on "
                              "(%2 of %3 bytes read)")
            .arg(firstDifference)
            .arg(received)
            .arg(sent);
    return QStringLiteral("%1 of the %2 bytes sent were read back").arg(received).arg(sent);
}

SoakSummary summarizeSoak(const QList<SoakRound> &rounds)
{
    SoakSummary summary;
    summary.rounds = int(rounds.size());
    QList<QList<double>> phases(SoakPhaseCount);
    QList<double> uploads;
    QList<double> reads;
    for (const SoakRound &round : rounds) {
        summary.seed = round.seed;
        summary.passed += round.passed();
        for (int p = 0; p < SoakPhaseCount; ++p)
            phases[p] << seconds(round.micros[size_t(p)]);
        if (!round.passed()) {
            ++summary.failed;
            // By phase alone: the reasons name sizes, which differ each round.
            auto known =
                std::find_if(summary.failures.begin(), summary.failures.end(),
                             [&](const SoakFailureCount &f) { return f.phase == *round.failedIn; });
            if (known == summary.failures.end())
                summary.failures << SoakFailureCount{*round.failedIn, round.reason, 1};
            else
                ++known->count;
            continue;
        }
        uploads << rate(round.size, round.micros[size_t(SoakPhase::Upload)]);
        reads << rate(round.readBack, round.micros[size_t(SoakPhase::ReadBack)]);
    }
    std::sort(
        summary.failures.begin(), summary.failures.end(),
        [](const SoakFailureCount &a, const SoakFailureCount &b) { return a.phase < b.phase; });
    for (int p = 0; p < SoakPhaseCount; ++p)
        summary.phases << checkSpread(soakPhaseKey(SoakPhase(p)), phases.at(p));
    summary.uploadRate = checkSpread(QStringLiteral("upload_rate"), uploads);
    summary.readBackRate = checkSpread(QStringLiteral("read_back_rate"), reads);
    return summary;
}

QString soakSummaryLine(const SoakSummary &summary)
{
    return QStringLiteral("%1 rounds, %2 passed, %3 failed")
        .arg(summary.rounds)
        .arg(summary.passed)
        .arg(summary.failed);
}

QString soakFailureLine(const SoakFailureCount &failure)
{
    return QStringLiteral("%1 x %2%3: %4")
        .arg(failure.count)
        .arg(soakPhaseName(failure.phase),
             failure.count > 1 ? QStringLiteral(", the first") : QString(), failure.reason);
}

QString soakRoundName(const SoakRound &round)
{
    return QStringLiteral("Round %1 (%2 %3)")
        .arg(round.number)
        .arg(round.size)
        .arg(round.size == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"));
}

QString soakRoundLine(const SoakRound &round)
{
    const QString head = soakRoundName(round);
    if (round.passed())
        return head + QStringLiteral(": passed");
    return QStringLiteral("%1: %2: %3").arg(head, soakPhaseName(*round.failedIn), round.reason);
}

QStringList soakSummaryLines(const QString &target, const SoakSummary &s,
                             const QList<SoakRound> &rounds)
{
    QStringList lines{QStringLiteral("Soak of %1: %2").arg(target, soakSummaryLine(s)),
                      QStringLiteral("Seed %1 (--seed %1 repeats these sizes)").arg(s.seed)};
    if (!s.failures.isEmpty()) {
        lines << QString() << QStringLiteral("Failures by phase:");
        for (const SoakFailureCount &f : s.failures)
            lines << QStringLiteral("  ") + soakFailureLine(f);
        lines << QString() << QStringLiteral("Failed rounds:");
        for (const SoakRound &round : rounds)
            if (!round.passed())
                lines << QStringLiteral("  ") + soakRoundLine(round);
    }
    lines << QString()
          << checkSpreadTable(QStringLiteral("Phase"), QStringLiteral("Rounds"), s.phases);
    for (const auto &[what, spread] :
         {std::pair{"Upload", s.uploadRate}, std::pair{"Read back", s.readBackRate}})
        if (spread.count > 0)
            lines << checkRateLine(QLatin1String(what), spread);
    return lines;
}

QJsonObject soakJson(const QString &target, const SoakSummary &s, const QList<SoakRound> &rounds)
{
    QJsonArray failures;
    for (const SoakFailureCount &f : s.failures)
        failures.append(QJsonObject{{QStringLiteral("phase"), soakPhaseKey(f.phase)},
                                    {QStringLiteral("reason"), f.reason},
                                    {QStringLiteral("count"), f.count}});
    QJsonArray each;
    for (const SoakRound &round : rounds) {
        QJsonObject phases;
        for (int p = 0; p < SoakPhaseCount; ++p)
            if (round.micros[size_t(p)] >= 0)
                phases.insert(soakPhaseKey(SoakPhase(p)), seconds(round.micros[size_t(p)]));
        QJsonObject one{{QStringLiteral("round"), round.number},
                        {QStringLiteral("size"), round.size},
                        {QStringLiteral("passed"), round.passed()},
                        {QStringLiteral("seconds"), phases}};
        if (round.kept >= 0)
            one.insert(QStringLiteral("kept"), round.kept);
        if (round.readBack >= 0)
            one.insert(QStringLiteral("readBack"), round.readBack);
        if (!round.passed()) {
            one.insert(QStringLiteral("phase"), soakPhaseKey(*round.failedIn));
            one.insert(QStringLiteral("reason"), round.reason);
            one.insert(QStringLiteral("leftBehind"), round.leftBehind);
        }
        each.append(one);
    }
    const QList<CheckSpread> spreads = s.phases + QList<CheckSpread>{s.uploadRate, s.readBackRate};
    const QJsonObject summary{
        {QStringLiteral("rounds"), s.rounds},
        {QStringLiteral("passed"), s.passed},
        {QStringLiteral("failed"), s.failed},
        {QStringLiteral("failures"), failures},
        {QStringLiteral("phases"), checkSpreadJson(spreads, QStringLiteral("rounds"))}};
    // The seed as text: JSON numbers lose a 64-bit one's last digits.
    return {{QStringLiteral("target"), target},
            {QStringLiteral("seed"), QString::number(s.seed)},
            {QStringLiteral("summary"), summary},
            {QStringLiteral("rounds"), each}};
}
