// Uploads and downloads one large file over loopback through the FTP
// component and through the curl command-line tool, against the same local
// pyftpdlib server, and prints both throughputs, their ratio, the longest
// stall of the event loop during the component's transfers and the peak
// memory of this process.
//
//   bench_transfer [size in MiB, default 1024]
#include "curl_transfer.h"
#include "ftp_server_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

const char User[] = "bench";
const char Password[] = "bench-pw1";

bool makeFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char((i * 131) ^ (i >> 7));
    for (qint64 written = 0; written < size; written += block.size())
        if (file.write(block.constData(), qMin<qint64>(block.size(), size - written)) < 0)
            return false;
    return true;
}

struct Measured
{
    double seconds = 0;
    qint64 longestGapMs = 0;
    double longestGapAt = 0; // seconds into the transfer
    bool ok = false;
};

Measured throughComponent(CurlTransfer &transfer, const QString &operation)
{
    Measured result;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.restart();
        if (gap > result.longestGapMs) {
            result.longestGapMs = gap;
            result.longestGapAt = clock.elapsed() / 1000.0;
        }
    });
    QSignalSpy finished(&transfer, &TransferComponent::finished);
    clock.start();
    sinceTick.start();
    ticker.start();
    transfer.Execute(operation);
    finished.wait(3600 * 1000);
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.ok = !finished.isEmpty() && finished.first().first().toBool();
    return result;
}

Measured throughCurlTool(const QStringList &arguments)
{
    Measured result;
    QElapsedTimer clock;
    clock.start();
    result.ok = QProcess::execute(QStringLiteral("curl"), arguments) == 0;
    result.seconds = clock.nsecsElapsed() / 1e9;
    return result;
}

void print(const char *what, qint64 bytes, const Measured &component, const Measured &tool)
{
    const double mib = bytes / double(1 << 20);
    const double ours = mib / component.seconds;
    const double theirs = mib / tool.seconds;
    std::printf("%-9s component %8.1f MiB/s   curl %8.1f MiB/s   ratio %.2f (target >= 0.90)   "
                "longest event-loop gap %lld ms (target <= 50) at %.1f of %.1f s%s\n",
                what, ours, theirs, ours / theirs, static_cast<long long>(component.longestGapMs),
                component.longestGapAt, component.seconds,
                component.ok && tool.ok ? "" : "   FAILED");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 size = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024) << 20;

    QTemporaryDir serverRoot;
    QTemporaryDir local;
    FtpServerProcess server;
    if (!server.start(serverRoot.path(), QLatin1String(User), QLatin1String(Password))) {
        std::fprintf(stderr, "cannot start the FTP server (python3-pyftpdlib)\n");
        return 1;
    }
    const QString source = local.filePath(QStringLiteral("source.bin"));
    if (!makeFile(source, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(source));
        return 1;
    }
    const QString base = QStringLiteral("ftp://127.0.0.1:%1/").arg(server.port());
    const QString login = QStringLiteral("%1:%2").arg(QLatin1String(User), QLatin1String(Password));

    CurlTransfer transfer;
    transfer.setURL(QStringLiteral("FTP://127.0.0.1:%1").arg(server.port()));
    transfer.setUserName(QLatin1String(User));
    transfer.setPassword(QLatin1String(Password));

    std::printf("Transferring %lld MiB over loopback\n", static_cast<long long>(size >> 20));
    const Measured upOurs =
        throughComponent(transfer, QStringLiteral("PUT %1 ours.bin").arg(source));
    const Measured upCurl =
        throughCurlTool({"-s", "-S", "-u", login, "-T", source, base + "curl.bin"});
    print("upload", size, upOurs, upCurl);
    QFile::remove(local.filePath(QStringLiteral("source.bin")));

    const Measured downOurs = throughComponent(
        transfer,
        QStringLiteral("GET ours.bin %1").arg(local.filePath(QStringLiteral("ours.bin"))));
    const Measured downCurl =
        throughCurlTool({"-s", "-S", "-u", login, "-o", local.filePath(QStringLiteral("curl.bin")),
                         base + "curl.bin"});
    print("download", size, downOurs, downCurl);
    const bool sizesMatch = QFileInfo(local.filePath(QStringLiteral("ours.bin"))).size() == size;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory of this process %.1f MiB (target < 100)%s\n", usage.ru_maxrss / 1024.0,
                sizesMatch ? "" : "   downloaded size differs: FAILED");
    return upOurs.ok && downOurs.ok && sizesMatch ? 0 : 1;
}
