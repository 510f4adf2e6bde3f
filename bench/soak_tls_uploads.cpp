// 100 uploads over one login to vsftpd with TLS required for the login and
// for all data, of sizes from 1 byte to a few MiB: the edges of buffers and
// TLS records, then sizes drawn with a fixed seed. After each, the file the
// server wrote is read straight from its folder and compared. Prints how many
// were lost, cut short or altered (target 0) and exits non-zero on any.
//
//   soak_tls_uploads
#include "bench_files.h"
#include "tls_soak.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

#include <cmath>
#include <vector>

namespace {

constexpr int Uploads = 100;
constexpr int TimeLimitSeconds = 600;
constexpr qint64 MiB = 1 << 20;

// Edges first: one byte, a page and its neighbours, a TLS record (16 KiB)
// and libcurl's upload buffer (64 KiB) and their neighbours, then sizes of a
// few MiB; the rest spread evenly on a log scale up to 4 MiB.
std::vector<qint64> uploadSizes()
{
    std::vector<qint64> sizes{1,       2,     1000,    4095,    4096,        4097,       16383,
                              16384,   16385, 65535,   65536,   65537,       114688,     114689,
                              MiB - 1, MiB,   MiB + 1, 3 * MiB, 3 * MiB + 1, 3 * MiB - 1};
    QRandomGenerator generator(20240613);
    while (sizes.size() < Uploads)
        sizes.push_back(qint64(std::exp(generator.bounded(std::log(4.0 * MiB)))) + 1);
    return sizes;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TlsSoak soak("soak_tls_uploads", TimeLimitSeconds);
    if (!soak.start())
        return 2;

    int done = 0;
    int lost = 0;
    int truncated = 0;
    int altered = 0;
    for (const qint64 size : uploadSizes()) {
        if (soak.mustStop())
            break;
        const QString name = QStringLiteral("up%1.bin").arg(done);
        const QByteArray data = patternBytes(size, quint32(done));
        QFile source(soak.local(name));
        if (!source.open(QIODevice::WriteOnly) || source.write(data) != size)
            return 2;
        source.close();
        ++done;
        const bool reported = soak.run(QStringLiteral("PUT %1 %2").arg(source.fileName(), name));
        const QString arrivedPath = soak.served(name);
        const QByteArray arrived = readAll(arrivedPath);
        QString problem;
        if (!QFile::exists(arrivedPath)) {
            ++lost;
            problem = QStringLiteral("is missing");
        } else if (arrived.size() < size) {
            ++truncated;
            problem = QStringLiteral("has %1 of %2 bytes").arg(arrived.size()).arg(size);
        } else if (arrived != data) {
            ++altered;
            problem = QStringLiteral("differs (%1 bytes for %2)").arg(arrived.size()).arg(size);
        }
        // A failure the component reported was counted already.
        if (!problem.isEmpty() && reported)
            soak.fail(QStringLiteral("%1 reported done, but %2 on the server").arg(name, problem));
        QFile::remove(source.fileName());
        QFile::remove(arrivedPath);
    }
    return soak.finish(
        QStringLiteral("%1 uploads: %2 lost, %3 truncated, %4 altered (target 0 each)")
            .arg(done)
            .arg(lost)
            .arg(truncated)
            .arg(altered));
}
