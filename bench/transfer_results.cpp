#include "transfer_results.h"

#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr double GapTargetMs = 10;
constexpr double MemoryTargetMiB = 100;
constexpr double GiB = 1 << 30;

// The component's median rate over another client's, at least.
struct RateTarget
{
    Protocol protocol;
    Direction direction;
    Client tool;
    double atLeast;
};
constexpr RateTarget RateTargets[] = {
    {Protocol::Ftp, Direction::Download, Client::CurlTool, 1.0},
    {Protocol::Ftp, Direction::Download, Client::Lftp, 1.0},
    {Protocol::Ftp, Direction::Upload, Client::CurlTool, 1.0},
    {Protocol::Ftp, Direction::Upload, Client::Lftp, 1.0},
    {Protocol::Sftp, Direction::Download, Client::CurlTool, 1.0},
    {Protocol::Sftp, Direction::Download, Client::OpenSsh, 0.7},
    {Protocol::Sftp, Direction::Upload, Client::CurlTool, 1.0},
    {Protocol::Sftp, Direction::Upload, Client::OpenSsh, 1.0},
};

// The small files. Over FTP the curl tool now and then sits out a whole 1 s
// poll timeout before a data connection, so the component's median time per
// file is held against curl's, which leaves those waits out; over SFTP the
// whole series is held against OpenSSH's sftp.
constexpr double FtpPerFileTarget = 1.5; // component / curl, median ms per file, at most
constexpr double SftpSeriesTarget = 1.0; // component / sftp, median series, at most

} // namespace

qint64 seriesFileSize(Protocol protocol)
{
    return protocol == Protocol::Sftp ? 16384 : 4096;
}

void TransferResults::addTransfer(Direction direction, Client client, const Timing &timing)
{
    const double mib = m_size / double(1 << 20);
    m_rates[{direction, client}].push_back(mib / timing.seconds);
    m_cpuPerGiB[{direction, client}].push_back(timing.cpuSeconds * GiB / m_size);
    m_longestGapMs = qMax(m_longestGapMs, timing.longestGapMs);
}

void TransferResults::addSeries(Client client, const Timing &timing)
{
    for (const double seconds : timing.perFileSeconds)
        m_perFileMs[client].push_back(seconds * 1000);
    m_seriesMeanMs[client].push_back(timing.seconds * 1000 / SeriesFiles);
    m_seriesCpu[client].push_back(timing.cpuSeconds);
}

void TransferResults::printSeries(const QList<Client> &clients) const
{
    for (const Client client : clients) {
        std::printf("%d x %lld KiB on one login, %-9s mean ms per file, each series:", SeriesFiles,
                    static_cast<long long>(seriesFileSize(m_protocol) >> 10), clientName(client));
        const auto found = m_seriesMeanMs.find(client);
        for (const double ms :
             found == m_seriesMeanMs.end() ? std::vector<double>() : found->second)
            std::printf(" %.2f", ms);
        std::printf("\n");
    }
}

void TransferResults::printClientTable(const QList<Client> &clients) const
{
    const QString title = QStringLiteral("%1 medians").arg(protocolName(m_protocol));
    std::printf("\n%-16s %-27s%-27s%s\n", qPrintable(title), "download MiB/s, CPU s/GiB",
                "upload MiB/s, CPU s/GiB", "series ms per file, CPU s");
    const auto cell = [](double value, double cpu) {
        return value > 0 ? QStringLiteral("%1  %2").arg(value, 7, 'f', 1).arg(cpu, 6, 'f', 2)
                         : QStringLiteral("%1").arg("-", 7);
    };
    for (const Client client : clients) {
        QString row;
        for (const Direction direction : {Direction::Download, Direction::Upload}) {
            const std::pair key(direction, client);
            row += cell(medianAt(m_rates, key), medianAt(m_cpuPerGiB, key)).leftJustified(27);
        }
        row += cell(medianAt(m_seriesMeanMs, client), medianAt(m_seriesCpu, client));
        std::printf("%-16s %s\n", clientName(client), qPrintable(row));
    }
}

void TransferResults::addRateFigures(std::vector<Figure> &figures) const
{
    const QString sizeText = QStringLiteral("%1 MiB").arg(m_size >> 20);
    for (const RateTarget &target : RateTargets) {
        const double theirs = medianAt(m_rates, std::pair(target.direction, target.tool));
        if (target.protocol != m_protocol || theirs == 0)
            continue; // not measured in this run
        const double ours = medianAt(m_rates, std::pair(target.direction, Client::Component));
        const double ratio = ours / theirs;
        figures.push_back({QStringLiteral("%1 %2 %3, component / %4 (median MiB/s)")
                               .arg(protocolName(m_protocol),
                                    target.direction == Direction::Download ? "download" : "upload",
                                    sizeText, clientName(target.tool)),
                           ours > 0 ? QStringLiteral("%1 / %2 = %3")
                                          .arg(ours, 0, 'f', 0)
                                          .arg(theirs, 0, 'f', 0)
                                          .arg(ratio, 0, 'f', 2)
                                    : QStringLiteral("failed / %1").arg(theirs, 0, 'f', 0),
                           QStringLiteral(">= %1").arg(target.atLeast, 0, 'f', 2),
                           ratio >= target.atLeast});
    }
}

void TransferResults::addSeriesFigure(std::vector<Figure> &figures) const
{
    const bool ftp = m_protocol == Protocol::Ftp;
    const Client tool = ftp ? Client::CurlTool : Client::OpenSsh;
    const auto &values = ftp ? m_perFileMs : m_seriesMeanMs;
    const double theirs = medianAt(values, tool);
    if (theirs == 0)
        return;
    const double ours = medianAt(values, Client::Component);
    const double ratio = ours / theirs;
    const double target = ftp ? FtpPerFileTarget : SftpSeriesTarget;
    figures.push_back(
        {QStringLiteral("%1 %2 x %3 KiB down, one login, component / %4 (%5)")
             .arg(protocolName(m_protocol))
             .arg(SeriesFiles)
             .arg(seriesFileSize(m_protocol) >> 10)
             .arg(clientName(tool), ftp ? "median ms per file" : "median series, ms/file"),
         ours > 0 ? QStringLiteral("%1 / %2 = %3")
                        .arg(ours, 0, 'f', 3)
                        .arg(theirs, 0, 'f', 3)
                        .arg(ratio, 0, 'f', 2)
                  : QStringLiteral("failed / %1").arg(theirs, 0, 'f', 3),
         QStringLiteral("<= %1").arg(target, 0, 'f', 2), ours > 0 && ratio <= target});
}

int TransferResults::report(const QList<Client> &clients) const
{
    printClientTable(clients);
    std::vector<Figure> figures;
    addRateFigures(figures);
    // Whole milliseconds: a loop that never stalls still shows its 10 ms tick.
    const int gap = qRound(m_longestGapMs);
    if (gap > 0)
        figures.push_back({"longest event-loop gap, component's large transfers (10 ms ticks)",
                           QStringLiteral("%1 ms").arg(gap),
                           QStringLiteral("<= %1 ms").arg(GapTargetMs), gap <= GapTargetMs});

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMiB = usage.ru_maxrss / 1024.0;
    figures.push_back({"peak memory of this process",
                       QStringLiteral("%1 MiB").arg(peakMiB, 0, 'f', 1),
                       QStringLiteral("< %1 MiB").arg(MemoryTargetMiB), peakMiB < MemoryTargetMiB});
    addSeriesFigure(figures);
    printFigures(figures, m_failures);
    return m_failures.isEmpty() ? 0 : 1;
}
