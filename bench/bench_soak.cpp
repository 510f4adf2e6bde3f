// The soak against the curl tool doing the same rounds, over loopback with
// vsftpd serving a folder in RAM: 200 rounds of at most 1 MiB (an upload, a
// read-back and a delete each), the time per round, and the time per round
// beyond the bytes moved (the same rounds with 1-byte files); then the peak
// memory of this process after 200 and after 1,000 rounds of the soak.
//
//   bench_soak [rounds, default 200] [max size in bytes, default 1048576]
#include "bench_figures.h"
#include "bench_files.h"
#include "operation_runner.h"
#include "tool_clients.h"
#include "vsftpd_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr quint64 Seed = 2026;

double peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// The soak's rounds on the component: seconds, or -1 when it failed.
double soakSeconds(CurlTransfer &transfer, int rounds, qint64 maxSize, QString *failure)
{
    SoakSettings settings;
    settings.maxSize = maxSize;
    settings.seed = Seed;
    transfer.setSoakSettings(settings);
    OperationRunner runner(transfer);
    const OperationRunner::Result result =
        runner.run(QStringLiteral("SOAK %1").arg(rounds), TransferTimeLimitMs);
    if (!result.ok) {
        *failure = QStringLiteral("the soak: ") + result.failure();
        return -1;
    }
    return result.seconds;
}

// The same rounds by the curl tool: the soak's sizes, written to RAM first.
double curlSeconds(const Endpoint &server, const QString &folder, int rounds, qint64 maxSize,
                   QString *failure)
{
    FileList files;
    for (int i = 0; i < rounds; ++i) {
        const QString local = QDir(folder).filePath(QStringLiteral("round-%1").arg(i));
        if (!writePatternFile(local, soakRoundSize(Seed, i, maxSize), quint32(i))) {
            *failure = QStringLiteral("cannot write ") + local;
            return -1;
        }
        files << qMakePair(local, QStringLiteral("curl-round-%1").arg(i));
    }
    const Timing timing = curlRounds(server, files);
    if (!timing.ok) {
        *failure = timing.error;
        return -1;
    }
    return timing.seconds;
}

QString ms(double seconds, int rounds)
{
    return QStringLiteral("%1 ms").arg(seconds * 1000 / rounds, 0, 'f', 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? QByteArray(argv[1]).toInt() : 200;
    const qint64 maxSize = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024 * 1024;
    QTemporaryDir ram(ramFolderTemplate());
    QDir(ram.path()).mkpath(QStringLiteral("served"));
    QDir(ram.path()).mkpath(QStringLiteral("local"));
    VsftpdProcess vsftpd;
    if (!vsftpd.start(ram.filePath(QStringLiteral("served")))) {
        std::fprintf(stderr, "cannot start vsftpd: %s\n", qPrintable(vsftpd.errorString()));
        return 1;
    }
    Endpoint server;
    server.port = vsftpd.port();
    server.user = VsftpdProcess::userName();
    server.password = VsftpdProcess::password();
    CurlTransfer transfer;
    transfer.setURL(QStringLiteral("ftp://127.0.0.1:%1").arg(server.port));
    transfer.setUserName(server.user);
    transfer.setPassword(server.password);

    QStringList failures;
    QString failure;
    const auto noted = [&](double seconds) {
        if (seconds < 0)
            failures << failure;
        return qMax(0.0, seconds);
    };
    const QString local = ram.filePath(QStringLiteral("local"));
    const double soak = noted(soakSeconds(transfer, rounds, maxSize, &failure));
    const double soakBare = noted(soakSeconds(transfer, rounds, 1, &failure));
    const double curl = noted(curlSeconds(server, local, rounds, maxSize, &failure));
    const double curlBare = noted(curlSeconds(server, local, rounds, 1, &failure));
    const double after200 = peakMiB();
    noted(soakSeconds(transfer, 1000, maxSize, &failure));
    const double after1000 = peakMiB();
    const bool left = !QDir(ram.filePath(QStringLiteral("served"))).isEmpty(QDir::Files);
    if (left)
        failures << QStringLiteral("files were left on the server");

    const QString sizes = QStringLiteral("%1 rounds of at most %2 bytes").arg(rounds).arg(maxSize);
    std::vector<Figure> figures{
        {"soak: time per round, " + sizes, ms(soak, rounds), "-", soak > 0},
        {"curl tool: the same rounds, one invocation", ms(curl, rounds), "-", curl > 0},
        {"soak: time per round beyond the bytes (1-byte rounds)", ms(soakBare, rounds),
         "<= 2 x curl's", soakBare > 0 && soakBare <= 2 * curlBare},
        {"curl tool: time per round beyond the bytes", ms(curlBare, rounds), "-", curlBare > 0},
        {QStringLiteral("peak memory after the soaks of %1 rounds").arg(rounds),
         QStringLiteral("%1 MiB").arg(after200, 0, 'f', 1), "-", true},
        {"peak memory after a soak of 1,000 rounds",
         QStringLiteral("%1 MiB").arg(after1000, 0, 'f', 1), "within 10% of the above",
         after1000 <= after200 * 1.1},
    };
    std::printf("Soak against the curl tool, FTP on vsftpd, files in RAM\n");
    printFigures(figures, failures);
    return failures.isEmpty() ? 0 : 1;
}
