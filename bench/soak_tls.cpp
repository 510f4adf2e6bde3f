// One login to vsftpd with TLS required for the login and for all data (each
// data connection resuming the login's TLS session, as vsftpd demands by
// default), the certificate trusted once when asked:
//  - twenty rounds of PWD, DIR, GET f, PUT f2, DIR, GET f2, each file that
//    moved compared with the original;
//  - 100 uploads of 1 byte to 4 MiB (the edges of buffers and TLS records,
//    then sizes drawn with a fixed seed), each compared with what the server
//    wrote, read straight from its folder.
// Prints the failures (target 0) and exits non-zero on any. CTest runs it.
//
//   soak_tls
#include "bench_files.h"
#include "test_files.h"
#include "tls_soak.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

#include <cmath>
#include <vector>

namespace {

constexpr int Rounds = 20;
constexpr int Uploads = 100;
constexpr int TimeLimitSeconds = 600;
constexpr qint64 MiB = 1 << 20;

// One operation of a round, and the file it must leave with these bytes.
struct Step
{
    QString operation;
    QString result;
    const QByteArray *expected = nullptr;
};

QString sessionRounds(TlsSoak &soak)
{
    // Sizes that are no multiple of a TLS record or a buffer.
    const QByteArray f = patternBytes(300 * 1024 + 7, 7);
    const QByteArray f2 = patternBytes(200 * 1024 + 3, 8);
    if (!writeFile(soak.served("f"), f) || !writeFile(soak.local("f2"), f2)) {
        soak.fail(QStringLiteral("cannot write the files to move"));
        return {};
    }
    int round = 0;
    for (; round < Rounds && !soak.mustStop(); ++round) {
        const QString fCopy = soak.local(QStringLiteral("f.%1").arg(round));
        const QString f2Copy = soak.local(QStringLiteral("f2.%1").arg(round));
        QFile::remove(soak.served("f2"));
        const Step steps[] = {
            {QStringLiteral("PWD"), {}, nullptr},
            {QStringLiteral("DIR"), {}, nullptr},
            {QStringLiteral("GET f %1").arg(fCopy), fCopy, &f},
            {QStringLiteral("PUT %1 f2").arg(soak.local("f2")), soak.served("f2"), &f2},
            {QStringLiteral("DIR"), {}, nullptr},
            {QStringLiteral("GET f2 %1").arg(f2Copy), f2Copy, &f2},
        };
        for (const Step &step : steps) {
            if (soak.mustStop())
                break;
            if (!soak.run(step.operation) || !step.expected)
                continue;
            const QByteArray arrived = readFile(step.result);
            if (arrived != *step.expected)
                soak.fail(
                    QStringLiteral("%1 left %2 bytes of %3%4")
                        .arg(step.operation)
                        .arg(arrived.size())
                        .arg(step.expected->size())
                        .arg(arrived.size() == step.expected->size() ? ", not the same" : ""));
        }
    }
    return QStringLiteral("%1 of %2 rounds").arg(round).arg(Rounds);
}

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

QString uploads(TlsSoak &soak)
{
    int done = 0;
    int lost = 0;
    int truncated = 0;
    int altered = 0;
    for (const qint64 size : uploadSizes()) {
        if (soak.mustStop())
            break;
        const QString name = QStringLiteral("up%1.bin").arg(done);
        const QByteArray data = patternBytes(size, quint32(done));
        const QString source = soak.local(name);
        if (!writeFile(source, data)) {
            soak.fail(QStringLiteral("cannot write %1").arg(source));
            break;
        }
        ++done;
        const bool reported = soak.run(QStringLiteral("PUT %1 %2").arg(source, name));
        const QString arrivedPath = soak.served(name);
        const QByteArray arrived = readFile(arrivedPath);
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
        QFile::remove(source);
        QFile::remove(arrivedPath);
    }
    return QStringLiteral("%1 uploads: %2 lost, %3 truncated, %4 altered (target 0 each)")
        .arg(done)
        .arg(lost)
        .arg(truncated)
        .arg(altered);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TlsSoak soak("soak_tls", TimeLimitSeconds);
    if (!soak.start())
        return 2;
    const QString rounds = sessionRounds(soak);
    return soak.finish(rounds + QStringLiteral("; ") + uploads(soak));
}
