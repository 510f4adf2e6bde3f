// Measures the transfer component against other clients over loopback, with
// every file in RAM, so the figures are the clients' own and not a disk's or a
// slow server's. FTP: Debian's vsftpd, the curl tool and lftp. SFTP: OpenSSH's
// sshd, the curl tool and OpenSSH's sftp, with the cipher libssh2 negotiates.
//   - one large file down and up, five rounds in rotating order, median MiB/s
//     and CPU seconds per GiB of each client;
//   - the longest stall of the event loop during the component's transfers;
//   - the peak memory of this process;
//   - 200 downloads of small files in a row on one login, five series;
//   - FTP only: REGET and HASH (see integrity_bench.h);
//   - FTP only: the large file down and up through a SOCKS5 proxy
//     (microsocks), against the component direct and the curl tool through
//     the same proxy, and the 200 small downloads through it.
// Every transferred file's size is checked, and in the first round its
// checksum too, so a failed transfer cannot pass for a fast one; every client
// writes a file that does not exist yet.
//
//   bench_transfer [size in MiB, default 512] [ftp|sftp] [down|up|files|integrity|proxy]
#include "bench_files.h"
#include "integrity_bench.h"
#include "proxy_bench.h"
#include "sftp_bench_server.h"
#include "transfer_results.h"
#include "vsftpd_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int Rounds = 5;
// Through the proxy its relay, not a client, bounds the rate, and the share
// of a core the relay gets varies from round to round: more rounds steady
// the medians.
constexpr int ProxyRounds = 9;

class TransferBench final
{
public:
    TransferBench(Protocol protocol, qint64 size)
        : m_protocol(protocol), m_size(size), m_clients(clientsFor(protocol)),
          m_results(protocol, size)
    {}

    bool setUp();
    void measureThroughput(Direction direction);
    void measureSeries();
    int measureProxied();
    int report() const { return m_results.report(m_clients); }

private:
    QString served(const QString &name) const { return m_ram.filePath("served/" + name); }
    QString local(const QString &name) const { return m_ram.filePath("local/" + name); }
    bool startServer();
    // The small files on the server, each with the local name it goes to.
    FileList seriesFiles() const;
    QString takeFile(const QString &path, qint64 size, bool withChecksum) const;
    bool check(const Timing &timing, const QString &path, qint64 size, bool withChecksum,
               const QString &what);

    Protocol m_protocol;
    qint64 m_size;
    QList<Client> m_clients;
    QTemporaryDir m_ram{ramFolderTemplate()};
    VsftpdProcess m_vsftpd;
    SftpBenchServer m_sshd;
    Endpoint m_endpoint;
    QByteArray m_sourceSha;
    TransferResults m_results;
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
    for (int i = 0; i < SeriesFiles; ++i)
        if (!writePatternFile(served(QStringLiteral("f%1").arg(i)), seriesFileSize(m_protocol),
                              100 + i))
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
        m_results.addFailure(what + QStringLiteral(": ") + problem);
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
            m_results.addTransfer(direction, client, timing);
            std::printf("  %-9s %7.1f MiB/s", clientName(client), mib / timing.seconds);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
}

FileList TransferBench::seriesFiles() const
{
    FileList files;
    for (int i = 0; i < SeriesFiles; ++i)
        files.append({QStringLiteral("f%1").arg(i), local(QStringLiteral("o%1").arg(i))});
    return files;
}

void TransferBench::measureSeries()
{
    const qint64 size = seriesFileSize(m_protocol);
    QList<Client> clients = m_clients;
    clients.removeAll(Client::Lftp);
    const FileList files = seriesFiles();
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
                    m_results.addFailure(what + QStringLiteral(", ") + file.first + ": " + problem);
                ok = ok && problem.isEmpty();
            }
            if (!ok)
                continue;
            m_results.addSeries(client, timing);
        }
    }
    m_results.printSeries(clients);
}

int TransferBench::measureProxied()
{
    return measureThroughProxy(
        m_endpoint, m_size, ProxyRounds,
        [this](Direction direction, Client client, const Endpoint &server, Timing &timing) {
            const bool down = direction == Direction::Download;
            const QString target = down ? local("received.bin") : served("up.bin");
            timing = down ? download(client, server, "down.bin", target)
                          : upload(client, server, local("source.bin"), "up.bin");
            if (!timing.ok)
                QFile::remove(target);
            else
                timing.error = takeFile(target, m_size, true);
            return timing.ok && timing.error.isEmpty();
        },
        [this](Client client, const Endpoint &server, Timing &timing) {
            const FileList files = seriesFiles();
            timing = downloads(client, server, files);
            for (const auto &file : files) {
                const QString problem = takeFile(file.second, seriesFileSize(m_protocol), false);
                if (timing.ok && timing.error.isEmpty() && !problem.isEmpty())
                    timing.error = file.first + QStringLiteral(": ") + problem;
            }
            return timing.ok && timing.error.isEmpty();
        });
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
    const QByteArrayList parts{"down", "up", "files", "integrity", "proxy"};
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
                             "[down|up|files|integrity|proxy]\n");
        return 2;
    }
    int status = 0;
    for (const Protocol protocol : {Protocol::Ftp, Protocol::Sftp}) {
        if (!chosen(protocols, protocol == Protocol::Sftp ? "sftp" : "ftp"))
            continue;
        if (protocol == Protocol::Ftp && chosen(parts, "integrity"))
            status |= measureIntegrity(mib << 20);
        if (!chosen(parts, "down") && !chosen(parts, "up") && !chosen(parts, "files") &&
            !(protocol == Protocol::Ftp && chosen(parts, "proxy")))
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
        const bool proxyOnly = words.contains("proxy") && !words.contains("down") &&
                               !words.contains("up") && !words.contains("files");
        if (!proxyOnly)
            status |= bench.report();
        if (protocol == Protocol::Ftp && chosen(parts, "proxy"))
            status |= bench.measureProxied();
        std::printf("\n");
    }
    return status;
}
