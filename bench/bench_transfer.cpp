// Measures the transfer component against other clients over loopback, with
// every file in RAM, so the figures are the clients' own and not a disk's or a
// slow server's. FTP: Debian's vsftpd, the curl tool and lftp. SFTP: OpenSSH's
// sshd, the curl tool and OpenSSH's sftp, with the cipher libssh2 negotiates.
//   - one large file down and up, five rounds in rotating order, median MiB/s
//     and CPU seconds per GiB of each client;
//   - the longest stall of the event loop during the component's transfers;
//   - the peak memory of this process;
//   - 200 downloads of small files in a row on one login, five series.
// Every transferred file's size is checked, and in the first round its
// checksum too, so a failed transfer cannot pass for a fast one; every client
// writes a file that does not exist yet.
//
//   bench_transfer [size in MiB, default 512] [ftp|sftp] [down|up|files]
#include "bench_figures.h"
#include "bench_files.h"
#include "sftp_bench_server.h"
#include "transfer_clients.h"
#include "vsftpd_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr int Rounds = 5;
constexpr int SmallFiles = 200;
constexpr double GapTargetMs = 10;
constexpr double MemoryTargetMiB = 100;
constexpr double GiB = 1 << 30;

enum class Direction { Download, Upload };

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
qint64 smallSize(Protocol protocol)
{
    return protocol == Protocol::Sftp ? 16384 : 4096;
}
constexpr double FtpPerFileTarget = 1.5; // component / curl, median ms per file, at most
constexpr double SftpSeriesTarget = 1.0; // component / sftp, median series, at most

const char *protocolName(Protocol protocol)
{
    return protocol == Protocol::Sftp ? "SFTP" : "FTP";
}

class TransferBench final
{
public:
    TransferBench(Protocol protocol, qint64 size)
        : m_protocol(protocol), m_size(size), m_clients(clientsFor(protocol))
    {}

    bool setUp();
    void measureThroughput(Direction direction);
    void measureSeries();
    int report() const;

private:
    QString served(const QString &name) const { return m_ram.filePath("served/" + name); }
    QString local(const QString &name) const { return m_ram.filePath("local/" + name); }
    bool startServer();
    QString takeFile(const QString &path, qint64 size, bool withChecksum) const;
    bool check(const Timing &timing, const QString &path, qint64 size, bool withChecksum,
               const QString &what);
    void addRateFigures(std::vector<Figure> &figures) const;
    void addSeriesFigure(std::vector<Figure> &figures) const;
    void printClientTable() const;

    Protocol m_protocol;
    qint64 m_size;
    QList<Client> m_clients;
    QTemporaryDir m_ram{ramFolderTemplate()};
    VsftpdProcess m_vsftpd;
    SftpBenchServer m_sshd;
    Endpoint m_endpoint;
    QByteArray m_sourceSha;
    std::map<std::pair<Direction, Client>, std::vector<double>> m_rates;     // MiB/s
    std::map<std::pair<Direction, Client>, std::vector<double>> m_cpuPerGiB; // s
    double m_longestGapMs = 0;
    std::map<Client, std::vector<double>> m_perFileMs;    // every file of every series
    std::map<Client, std::vector<double>> m_seriesMeanMs; // each series' wall time per file
    std::map<Client, std::vector<double>> m_seriesCpu;    // s per series
    QStringList m_failures;
};

bool TransferBench::startServer()
{
    if (m_protocol == Protocol::Ftp) {
        if (!m_vsftpd.start(m_ram.filePath("served"))) {
            std::fprintf(stderr, "cannot start vsftpd: %s\n", qPrintable(m_vsftpd.errorString()));
            return false;
        }
        m_endpoint.port = m_vsftpd.port();
        m_endpoint.user = VsftpdProcess::userName();
        m_endpoint.password = VsftpdProcess::password();
        return true;
    }
    if (!m_sshd.start(m_ram.filePath("served"), m_ram.filePath("home"))) {
        std::fprintf(stderr, "cannot start sshd: %s\n", qPrintable(m_sshd.errorString()));
        return false;
    }
    m_endpoint = m_sshd.endpoint();
    return true;
}

bool TransferBench::setUp()
{
    if (!m_ram.isValid() || !QDir(m_ram.path()).mkpath("served") ||
        !QDir(m_ram.path()).mkpath("local")) {
        std::fprintf(stderr, "cannot make a folder under %s\n", qPrintable(ramFolderTemplate()));
        return false;
    }
    if (!startServer())
        return false;
    if (!writePatternFile(local("source.bin"), m_size, 1) ||
        !writePatternFile(served("down.bin"), m_size, 1)) {
        std::fprintf(stderr, "cannot write %lld MiB under %s\n",
                     static_cast<long long>(m_size >> 20), qPrintable(m_ram.path()));
        return false;
    }
    for (int i = 0; i < SmallFiles; ++i)
        if (!writePatternFile(served(QStringLiteral("f%1").arg(i)), smallSize(m_protocol), 100 + i))
            return false;
    m_sourceSha = fileSha256(local("source.bin"));
    std::printf("%s: server on 127.0.0.1:%d, files in %s\n", protocolName(m_protocol),
                m_endpoint.port, qPrintable(m_ram.path()));
    if (m_protocol == Protocol::Sftp) {
        // OpenSSH's client does the same work as libssh2 only with its cipher.
        const Timing probe = download(Client::CurlTool, m_endpoint, "f0", local("probe"));
        QFile::remove(local("probe"));
        m_endpoint.cipher = m_sshd.negotiatedCipher();
        if (!probe.ok || m_endpoint.cipher.isEmpty()) {
            std::fprintf(stderr, "no cipher learnt from a curl login: %s\n",
                         qPrintable(probe.error));
            return false;
        }
        std::printf("libssh2 negotiates %s; OpenSSH's sftp is told to use it\n",
                    qPrintable(m_endpoint.cipher));
    }
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
        for (int k = 0; k < m_clients.size(); ++k) {
            const Client client = m_clients[(round + k) % m_clients.size()];
            const QString target = down ? local("received.bin") : served("up.bin");
            const Timing timing = down ? download(client, m_endpoint, "down.bin", target)
                                       : upload(client, m_endpoint, local("source.bin"), "up.bin");
            const QString what = QLatin1String(clientName(client)) + (down ? " down" : " up");
            if (!check(timing, target, m_size, round == 0, what)) {
                std::printf("  %-9s FAILED", clientName(client));
                continue;
            }
            m_rates[{direction, client}].push_back(mib / timing.seconds);
            m_cpuPerGiB[{direction, client}].push_back(timing.cpuSeconds * GiB / m_size);
            if (client == Client::Component)
                m_longestGapMs = qMax(m_longestGapMs, timing.longestGapMs);
            std::printf("  %-9s %7.1f MiB/s", clientName(client), mib / timing.seconds);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
}

void TransferBench::measureSeries()
{
    const qint64 size = smallSize(m_protocol);
    QList<Client> clients = m_clients;
    clients.removeAll(Client::Lftp);
    FileList files;
    for (int i = 0; i < SmallFiles; ++i)
        files.append({QStringLiteral("f%1").arg(i), local(QStringLiteral("o%1").arg(i))});
    for (int round = 0; round < Rounds; ++round) {
        for (int k = 0; k < clients.size(); ++k) {
            const Client client = clients[(round + k) % clients.size()];
            const Timing timing = downloads(client, m_endpoint, files);
            // One failure for a failed series, not one per file it left out.
            const QString what =
                QStringLiteral("%1 %2 KiB series").arg(clientName(client)).arg(size >> 10);
            bool ok = check(timing, files.first().second, size, false, what);
            for (const auto &file : files.mid(1)) {
                const QString problem = takeFile(file.second, size, false);
                if (ok && !problem.isEmpty())
                    m_failures << what + QStringLiteral(", ") + file.first + ": " + problem;
                ok = ok && problem.isEmpty();
            }
            if (!ok)
                continue;
            for (const double seconds : timing.perFileSeconds)
                m_perFileMs[client].push_back(seconds * 1000);
            m_seriesMeanMs[client].push_back(timing.seconds * 1000 / SmallFiles);
            m_seriesCpu[client].push_back(timing.cpuSeconds);
        }
    }
    // The mean takes in the odd long wait the median leaves out.
    for (const Client client : clients) {
        std::printf("%d x %lld KiB on one login, %-9s mean ms per file, each series:", SmallFiles,
                    static_cast<long long>(size >> 10), clientName(client));
        for (const double ms : m_seriesMeanMs[client])
            std::printf(" %.2f", ms);
        std::printf("\n");
    }
}

void TransferBench::printClientTable() const
{
    const QString title = QStringLiteral("%1 medians").arg(protocolName(m_protocol));
    std::printf("\n%-16s %-27s%-27s%s\n", qPrintable(title), "download MiB/s, CPU s/GiB",
                "upload MiB/s, CPU s/GiB", "series ms per file, CPU s");
    const auto cell = [](double value, double cpu) {
        return value > 0 ? QStringLiteral("%1  %2").arg(value, 7, 'f', 1).arg(cpu, 6, 'f', 2)
                         : QStringLiteral("%1").arg("-", 7);
    };
    for (const Client client : m_clients) {
        QString row;
        for (const Direction direction : {Direction::Download, Direction::Upload}) {
            const std::pair key(direction, client);
            row += cell(medianAt(m_rates, key), medianAt(m_cpuPerGiB, key)).leftJustified(27);
        }
        row += cell(medianAt(m_seriesMeanMs, client), medianAt(m_seriesCpu, client));
        std::printf("%-16s %s\n", clientName(client), qPrintable(row));
    }
}

void TransferBench::addRateFigures(std::vector<Figure> &figures) const
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

void TransferBench::addSeriesFigure(std::vector<Figure> &figures) const
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
             .arg(SmallFiles)
             .arg(smallSize(m_protocol) >> 10)
             .arg(clientName(tool), ftp ? "median ms per file" : "median series, ms/file"),
         ours > 0 ? QStringLiteral("%1 / %2 = %3")
                        .arg(ours, 0, 'f', 3)
                        .arg(theirs, 0, 'f', 3)
                        .arg(ratio, 0, 'f', 2)
                  : QStringLiteral("failed / %1").arg(theirs, 0, 'f', 3),
         QStringLiteral("<= %1").arg(target, 0, 'f', 2), ours > 0 && ratio <= target});
}

int TransferBench::report() const
{
    printClientTable();
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 512;
    // A protocol or a part named measures that alone; none named, all of them.
    QByteArrayList words;
    for (int i = 2; i < argc; ++i)
        words << QByteArray(argv[i]);
    const QByteArrayList protocols{"ftp", "sftp"};
    const QByteArrayList parts{"down", "up", "files"};
    const auto chosen = [&words](const QByteArrayList &kind, const char *word) {
        return words.contains(word) || std::none_of(kind.begin(), kind.end(), [&words](auto &w) {
                   return words.contains(w);
               });
    };
    const bool known = std::all_of(words.begin(), words.end(), [&](const QByteArray &word) {
        return protocols.contains(word) || parts.contains(word);
    });
    if (mib <= 0 || !known) {
        std::fprintf(stderr, "usage: bench_transfer [size in MiB, default 512] [ftp|sftp] "
                             "[down|up|files]\n");
        return 2;
    }
    int status = 0;
    for (const Protocol protocol : {Protocol::Ftp, Protocol::Sftp}) {
        if (!chosen(protocols, protocol == Protocol::Sftp ? "sftp" : "ftp"))
            continue;
        TransferBench bench(protocol, mib << 20);
        if (!bench.setUp()) {
            status = 1;
            continue;
        }
        if (chosen(parts, "down"))
            bench.measureThroughput(Direction::Download);
        if (chosen(parts, "up"))
            bench.measureThroughput(Direction::Upload);
        if (chosen(parts, "files"))
            bench.measureSeries();
        status |= bench.report();
        std::printf("\n");
    }
    return status;
}
