// Measures the FTP component against the curl tool and lftp over loopback,
// with Debian's vsftpd as the server and every file in RAM, so the figures
// are the clients' own and not a disk's or a slow server's:
//   - one large file down and up, five rounds in rotating order, median MiB/s;
//   - the longest stall of the event loop during the component's transfers;
//   - the peak memory of this process;
//   - 200 downloads of 4 KiB files in a row on one login, median time per file.
// Every transferred file's size is checked, and in the first round its
// checksum too, so a failed transfer cannot pass for a fast one.
//
//   bench_transfer [size in MiB, default 512]
#include "bench_files.h"
#include "transfer_clients.h"
#include "vsftpd_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr int Rounds = 5;
constexpr int SmallFiles = 200;
constexpr qint64 SmallSize = 4096;
constexpr double GapTargetMs = 10;
constexpr double MemoryTargetMiB = 100;
constexpr double ThroughputTarget = 1.0; // component / tool, at least
constexpr double PerFileTarget = 1.5;    // component / curl, at most

enum class Direction { Download, Upload };

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The median of the values under `key`; 0 when there are none.
template <typename Key>
double medianAt(const std::map<Key, std::vector<double>> &values, const Key &key)
{
    const auto found = values.find(key);
    return found == values.end() ? 0 : median(found->second);
}

struct Figure
{
    QString name;
    QString measured;
    QString target;
    bool met = false;
};

class TransferBench final
{
public:
    explicit TransferBench(qint64 size) : m_size(size) {}

    bool setUp();
    void measureThroughput(Direction direction);
    void measurePerFile();
    int report() const;

private:
    QString served(const QString &name) const { return m_ram.filePath("served/" + name); }
    QString local(const QString &name) const { return m_ram.filePath("local/" + name); }
    QString takeFile(const QString &path, qint64 size, bool withChecksum) const;
    bool check(const Timing &timing, const QString &path, qint64 size, bool withChecksum,
               const QString &what);

    qint64 m_size;
    QTemporaryDir m_ram{ramFolderTemplate()};
    VsftpdProcess m_server;
    Endpoint m_endpoint;
    QByteArray m_sourceSha;
    std::map<std::pair<Direction, Client>, std::vector<double>> m_rates; // MiB/s
    double m_longestGapMs = 0;
    std::map<Client, std::vector<double>> m_perFileMs;    // every file of every series
    std::map<Client, std::vector<double>> m_seriesMeanMs; // each series' wall time per file
    QStringList m_failures;
};

bool TransferBench::setUp()
{
    if (!m_ram.isValid() || !QDir(m_ram.path()).mkpath("served") ||
        !QDir(m_ram.path()).mkpath("local")) {
        std::fprintf(stderr, "cannot make a folder under %s\n", qPrintable(ramFolderTemplate()));
        return false;
    }
    if (!m_server.start(m_ram.filePath("served"))) {
        std::fprintf(stderr, "cannot start vsftpd: %s\n", qPrintable(m_server.errorString()));
        return false;
    }
    m_endpoint = {m_server.port(), VsftpdProcess::userName(), VsftpdProcess::password()};
    if (!writePatternFile(local("source.bin"), m_size, 1) ||
        !writePatternFile(served("down.bin"), m_size, 1)) {
        std::fprintf(stderr, "cannot write %lld MiB under %s\n",
                     static_cast<long long>(m_size >> 20), qPrintable(m_ram.path()));
        return false;
    }
    for (int i = 0; i < SmallFiles; ++i)
        if (!writePatternFile(served(QStringLiteral("f%1").arg(i)), SmallSize, 100 + i))
            return false;
    m_sourceSha = fileSha256(local("source.bin"));
    std::printf("vsftpd on 127.0.0.1:%d, files in %s\n", m_server.port(), qPrintable(m_ram.path()));
    return true;
}

// Why `path` does not hold the whole file that was sent; empty when it does.
// The file is removed either way, so the next transfer starts afresh.
QString TransferBench::takeFile(const QString &path, qint64 size, bool withChecksum) const
{
    const qint64 arrived = QFileInfo(path).size();
    QString problem;
    if (arrived != size)
        problem = QStringLiteral("left %1 bytes of %2").arg(arrived).arg(size);
    else if (withChecksum && fileSha256(path) != m_sourceSha)
        problem = QStringLiteral("left other data than was sent");
    QFile::remove(path);
    return problem;
}

// True when the transfer reported success and left the whole file behind.
bool TransferBench::check(const Timing &timing, const QString &path, qint64 size, bool withChecksum,
                          const QString &what)
{
    QString problem = timing.error;
    if (timing.ok)
        problem = takeFile(path, size, withChecksum);
    else if (QFile::remove(path); problem.isEmpty())
        problem = QStringLiteral("reported a failure");
    if (!problem.isEmpty())
        m_failures << what + QStringLiteral(": ") + problem;
    return problem.isEmpty();
}

void TransferBench::measureThroughput(Direction direction)
{
    const bool down = direction == Direction::Download;
    const double mib = m_size / double(1 << 20);
    for (int round = 0; round < Rounds; ++round) {
        std::printf("round %d %-8s", round + 1, down ? "down" : "up");
        for (int k = 0; k < 3; ++k) {
            const Client client = Clients[(round + k) % 3];
            const QString target = down ? local("received.bin") : served("up.bin");
            const Timing timing = down ? download(client, m_endpoint, "down.bin", target)
                                       : upload(client, m_endpoint, local("source.bin"), "up.bin");
            const QString what = QLatin1String(clientName(client)) + (down ? " down" : " up");
            if (!check(timing, target, m_size, round == 0, what)) {
                std::printf("  %-9s FAILED", clientName(client));
                continue;
            }
            m_rates[{direction, client}].push_back(mib / timing.seconds);
            if (client == Client::Component)
                m_longestGapMs = qMax(m_longestGapMs, timing.longestGapMs);
            std::printf("  %-9s %7.1f MiB/s", clientName(client), mib / timing.seconds);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
}

void TransferBench::measurePerFile()
{
    FileList files;
    for (int i = 0; i < SmallFiles; ++i)
        files.append({QStringLiteral("f%1").arg(i), local(QStringLiteral("o%1").arg(i))});
    for (int round = 0; round < Rounds; ++round) {
        for (int k = 0; k < 2; ++k) {
            const Client client = (round + k) % 2 ? Client::CurlTool : Client::Component;
            const Timing timing = client == Client::Component
                                      ? componentDownloads(m_endpoint, files)
                                      : curlDownloads(m_endpoint, files, m_ram.path());
            // One failure for a failed series, not one per file it left out.
            const QString what = QLatin1String(clientName(client)) + " 4 KiB series";
            bool ok = check(timing, files.first().second, SmallSize, false, what);
            for (const auto &file : files.mid(1)) {
                const QString problem = takeFile(file.second, SmallSize, false);
                if (ok && !problem.isEmpty())
                    m_failures << what + QStringLiteral(", ") + file.first + ": " + problem;
                ok = ok && problem.isEmpty();
            }
            if (!ok)
                continue;
            for (const double seconds : timing.perFileSeconds)
                m_perFileMs[client].push_back(seconds * 1000);
            m_seriesMeanMs[client].push_back(timing.seconds * 1000 / SmallFiles);
        }
    }
    // The mean takes in the odd long wait the median leaves out.
    for (const Client client : {Client::Component, Client::CurlTool}) {
        std::printf("%d x 4 KiB on one login, %-9s mean ms per file, each series:", SmallFiles,
                    clientName(client));
        for (const double ms : m_seriesMeanMs[client])
            std::printf(" %.2f", ms);
        std::printf("\n");
    }
}

int TransferBench::report() const
{
    std::vector<Figure> figures;
    const QString sizeText = QStringLiteral("%1 MiB").arg(m_size >> 20);
    for (const Direction direction : {Direction::Download, Direction::Upload}) {
        const double ours = medianAt(m_rates, std::pair(direction, Client::Component));
        if (ours == 0)
            continue; // not measured in this run
        for (const Client tool : {Client::CurlTool, Client::Lftp}) {
            const double theirs = medianAt(m_rates, std::pair(direction, tool));
            const double ratio = theirs > 0 ? ours / theirs : 0;
            figures.push_back({QStringLiteral("%1 %2, component / %3 (median MiB/s)")
                                   .arg(direction == Direction::Download ? "download" : "upload",
                                        sizeText, clientName(tool)),
                               QStringLiteral("%1 / %2 = %3")
                                   .arg(ours, 0, 'f', 0)
                                   .arg(theirs, 0, 'f', 0)
                                   .arg(ratio, 0, 'f', 2),
                               QStringLiteral(">= %1").arg(ThroughputTarget, 0, 'f', 2),
                               ratio >= ThroughputTarget});
        }
    }
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

    const double ours = medianAt(m_perFileMs, Client::Component);
    const double theirs = medianAt(m_perFileMs, Client::CurlTool);
    const double ratio = theirs > 0 && ours > 0 ? ours / theirs : 0;
    if (ours > 0)
        figures.push_back({QStringLiteral("%1 x 4 KiB downloads on one login, component / curl "
                                          "(median ms per file)")
                               .arg(SmallFiles),
                           QStringLiteral("%1 / %2 = %3")
                               .arg(ours, 0, 'f', 3)
                               .arg(theirs, 0, 'f', 3)
                               .arg(ratio, 0, 'f', 2),
                           QStringLiteral("<= %1").arg(PerFileTarget),
                           ratio > 0 && ratio <= PerFileTarget});

    std::printf("\n%-78s %-24s %-11s %s\n", "figure", "measured", "target", "");
    for (const Figure &figure : figures)
        std::printf("%-78s %-24s %-11s %s\n", qPrintable(figure.name), qPrintable(figure.measured),
                    qPrintable(figure.target), figure.met ? "met" : "NOT met");
    for (const QString &failure : m_failures)
        std::printf("FAILED %s\n", qPrintable(failure));
    return m_failures.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 512;
    // "down", "up" or "files" measures that part alone, for quick comparisons.
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    if (mib <= 0 || (!only.isEmpty() && only != "down" && only != "up" && only != "files")) {
        std::fprintf(stderr, "usage: bench_transfer [size in MiB, default 512] [down|up|files]\n");
        return 2;
    }
    TransferBench bench(mib << 20);
    if (!bench.setUp())
        return 1;
    if (only.isEmpty() || only == "down")
        bench.measureThroughput(Direction::Download);
    if (only.isEmpty() || only == "up")
        bench.measureThroughput(Direction::Upload);
    if (only.isEmpty() || only == "files")
        bench.measurePerFile();
    return bench.report();
}
