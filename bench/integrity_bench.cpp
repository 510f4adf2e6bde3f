#include "integrity_bench.h"

#include "bench_figures.h"
#include "bench_files.h"
#include "ftp_server_process.h"
#include "operation_runner.h"
#include "tool_clients.h"
#include "vsftpd_process.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int Rounds = 5;
const QString Account = QStringLiteral("bench");
const QString AccountPassword = QStringLiteral("bench-Pw9");

// The bytes vsftpd sent in the downloads it logged in `log`.
qint64 bytesSent(const QString &log)
{
    static const QRegularExpression sent(QStringLiteral("DOWNLOAD: .*, (\\d+) bytes"));
    qint64 bytes = 0;
    for (auto it = sent.globalMatch(log); it.hasNext();)
        bytes += it.next().captured(1).toLongLong();
    return bytes;
}

QString mib(double rate)
{
    return QString::number(rate, 'f', 1) + QStringLiteral(" MiB/s");
}

class IntegrityBench final
{
public:
    explicit IntegrityBench(qint64 size) : m_size(size) {}

    bool setUp();
    void measureResume();
    void measureHash();
    int report() const;

private:
    QString served(const QString &name) const { return m_ram.filePath("served/" + name); }
    QString local(const QString &name) const { return m_ram.filePath("local/" + name); }
    // Runs `operation` on a fresh login to `endpoint`; false, counted as a
    // failure, when it fails.
    bool run(const Endpoint &endpoint, const QString &operation, OperationRunner::Result &result);

    qint64 m_size;
    QTemporaryDir m_ram{ramFolderTemplate()};
    VsftpdProcess m_vsftpd;
    FtpServerProcess m_hashing; // offers HASH
    FtpServerProcess m_plain;   // offers none: HASH reads back
    Endpoint m_ftp;
    QByteArray m_sha;
    std::map<QString, std::vector<double>> m_seconds;
    std::map<QString, std::vector<double>> m_bytes;
    QStringList m_failures;
};

bool IntegrityBench::setUp()
{
    if (!m_ram.isValid() || !QDir(m_ram.path()).mkpath("served") ||
        !QDir(m_ram.path()).mkpath("local") || !writePatternFile(served("big.bin"), m_size, 3)) {
        std::fprintf(stderr, "cannot write %lld MiB under %s\n",
                     static_cast<long long>(m_size >> 20), qPrintable(m_ram.path()));
        return false;
    }
    m_sha = fileSha256(served("big.bin"));
    if (!m_vsftpd.start(m_ram.filePath("served")) ||
        !m_hashing.start(m_ram.filePath("served"), Account, AccountPassword, {"--hash", "HASH"}) ||
        !m_plain.start(m_ram.filePath("served"), Account, AccountPassword)) {
        std::fprintf(stderr, "cannot start vsftpd or pyftpdlib: %s\n",
                     qPrintable(m_vsftpd.errorString()));
        return false;
    }
    m_ftp.port = m_vsftpd.port();
    m_ftp.user = VsftpdProcess::userName();
    m_ftp.password = VsftpdProcess::password();
    std::printf("REGET and HASH of %lld MiB: vsftpd on 127.0.0.1:%d, pyftpdlib on %d (HASH) "
                "and %d, files in %s\n",
                static_cast<long long>(m_size >> 20), m_ftp.port, m_hashing.port(), m_plain.port(),
                qPrintable(m_ram.path()));
    return true;
}

bool IntegrityBench::run(const Endpoint &endpoint, const QString &operation,
                         OperationRunner::Result &result)
{
    auto transfer = componentFor(endpoint);
    OperationRunner runner(*transfer);
    result = runner.run(operation, TransferTimeLimitMs);
    if (!result.ok)
        m_failures << operation + QStringLiteral(": ") + result.failure();
    return result.ok;
}

void IntegrityBench::measureResume()
{
    const QString whole = local("whole.bin");
    const QString part = local("part.bin");
    for (int round = 0; round < Rounds; ++round) {
        OperationRunner::Result get;
        qsizetype logged = m_vsftpd.log().size();
        if (run(m_ftp, "GET big.bin " + whole, get) && (round > 0 || fileSha256(whole) == m_sha)) {
            m_seconds["GET"].push_back(get.seconds);
            m_bytes["GET"].push_back(bytesSent(m_vsftpd.log().mid(logged)));
        }
        QFile::remove(whole);
        // The first half, as a download cut off half-way leaves it.
        OperationRunner::Result reget;
        if (!writePatternFile(part, m_size / 2, 3))
            m_failures << QStringLiteral("cannot write the partial file");
        logged = m_vsftpd.log().size();
        if (run(m_ftp, "REGET big.bin " + part, reget)) {
            if (QFileInfo(part).size() == m_size && (round > 0 || fileSha256(part) == m_sha)) {
                m_seconds["REGET"].push_back(reget.seconds);
                m_bytes["REGET"].push_back(bytesSent(m_vsftpd.log().mid(logged)));
            } else {
                m_failures << QStringLiteral("REGET left other data than the server's");
            }
        }
        QFile::remove(part);
        std::printf("round %d  GET %7.2f s  REGET %7.2f s\n", round + 1, get.seconds,
                    reget.seconds);
        std::fflush(stdout);
    }
}

void IntegrityBench::measureHash()
{
    Endpoint hashing;
    hashing.port = m_hashing.port();
    hashing.user = Account;
    hashing.password = AccountPassword;
    Endpoint plain = hashing;
    plain.port = m_plain.port();
    const QString hex = QString::fromLatin1(m_sha.toHex());
    for (int round = 0; round < Rounds; ++round) {
        OperationRunner::Result server;
        OperationRunner::Result readBack;
        if (run(hashing, "HASH big.bin", server)) {
            if (server.info.contains(hex) && server.info.contains("computed by the server"))
                m_seconds["server HASH"].push_back(server.seconds);
            else
                m_failures << "server HASH said " + server.info;
        }
        if (run(plain, "HASH big.bin", readBack)) {
            if (readBack.info.contains(hex) && readBack.info.contains("read-back"))
                m_seconds["read-back HASH"].push_back(readBack.seconds);
            else
                m_failures << "read-back HASH said " + readBack.info;
        }
        QByteArray piped;
        const Timing curl = curlHashed(plain, "big.bin", &piped);
        if (curl.ok && piped.startsWith(hex.toLatin1()))
            m_seconds["curl | sha256sum"].push_back(curl.seconds);
        else
            m_failures << "curl | sha256sum: " +
                              (curl.ok ? QString::fromLatin1(piped) : curl.error);
        std::printf("round %d  server HASH %6.2f s  read-back %6.2f s  curl | sha256sum %6.2f s\n",
                    round + 1, server.seconds, readBack.seconds, curl.seconds);
        std::fflush(stdout);
    }
}

int IntegrityBench::report() const
{
    const double size = m_size / double(1 << 20);
    const auto seconds = [this](const char *what) { return medianAt(m_seconds, QString(what)); };
    const auto bytes = [this](const char *what) { return medianAt(m_bytes, QString(what)); };
    const double getRate = seconds("GET") > 0 ? bytes("GET") / (1 << 20) / seconds("GET") : 0;
    const double regetRate =
        seconds("REGET") > 0 ? bytes("REGET") / (1 << 20) / seconds("REGET") : 0;
    const double share = bytes("GET") > 0 ? bytes("REGET") / bytes("GET") : 0;
    const double readBack = seconds("read-back HASH");
    const double curl = seconds("curl | sha256sum");
    std::printf("\nMedians of %d rounds, %.0f MiB:\n", Rounds, size);
    std::printf("  GET    %.0f bytes moved, %s\n", bytes("GET"), qPrintable(mib(getRate)));
    std::printf("  REGET  %.0f bytes moved (%.3f of GET's), %s (%.2f of GET's)\n", bytes("REGET"),
                share, qPrintable(mib(regetRate)), getRate > 0 ? regetRate / getRate : 0);
    std::printf("  HASH computed by the server   %6.2f s  %s\n", seconds("server HASH"),
                qPrintable(mib(size / qMax(seconds("server HASH"), 1e-9))));
    std::printf("  HASH from a read-back         %6.2f s  %s  (%.2f of the server's time)\n",
                readBack, qPrintable(mib(size / qMax(readBack, 1e-9))),
                seconds("server HASH") > 0 ? readBack / seconds("server HASH") : 0);
    std::printf("  curl download | sha256sum     %6.2f s  %s  (read-back at %.2f of its rate)\n",
                curl, qPrintable(mib(size / qMax(curl, 1e-9))), readBack > 0 ? curl / readBack : 0);
    std::vector<Figure> figures{
        {"REGET of the second half: bytes moved", QString::number(share, 'f', 3) + " of GET's",
         "at most 0.51 of GET's", share > 0 && share <= 0.51},
        {"REGET's rate", mib(regetRate), ">= 0.85 x GET's " + mib(getRate),
         regetRate >= 0.85 * getRate && getRate > 0},
        {"HASH from a read-back", QString::number(readBack, 'f', 2) + " s",
         "<= curl | sha256sum's " + QString::number(curl, 'f', 2) + " s",
         readBack > 0 && readBack <= curl},
    };
    printFigures(figures, m_failures);
    const bool met =
        std::all_of(figures.begin(), figures.end(), [](const Figure &f) { return f.met; });
    return met && m_failures.isEmpty() ? 0 : 1;
}

} // namespace

int measureIntegrity(qint64 size)
{
    IntegrityBench bench(size);
    if (!bench.setUp())
        return 1;
    bench.measureResume();
    bench.measureHash();
    return bench.report();
}
