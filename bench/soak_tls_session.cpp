// Twenty times over, on one login to vsftpd with TLS required for the login
// and for all data (each data connection resuming the login's TLS session,
// as vsftpd demands by default): PWD, DIR, GET f, PUT f2, DIR, GET f2. The
// certificate is trusted once, when asked. Prints the failures (target 0)
// and exits non-zero on any.
//
//   soak_tls_session
#include "bench_files.h"
#include "tls_soak.h"

#include <QCoreApplication>
#include <QFile>

namespace {

constexpr int Rounds = 20;
constexpr int TimeLimitSeconds = 300;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// One operation of a round, and the file it must leave with these bytes.
struct Step
{
    QString operation;
    QString result;
    const QByteArray *expected = nullptr;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TlsSoak soak("soak_tls_session", TimeLimitSeconds);
    if (!soak.start())
        return 2;
    // Sizes that are no multiple of a TLS record or a buffer.
    const QByteArray f = patternBytes(300 * 1024 + 7, 7);
    const QByteArray f2 = patternBytes(200 * 1024 + 3, 8);
    if (!writeAll(soak.served("f"), f) || !writeAll(soak.local("f2"), f2))
        return 2;

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
            const QByteArray arrived = readAll(step.result);
            if (arrived != *step.expected)
                soak.fail(
                    QStringLiteral("%1 left %2 bytes of %3%4")
                        .arg(step.operation)
                        .arg(arrived.size())
                        .arg(step.expected->size())
                        .arg(arrived.size() == step.expected->size() ? ", not the same" : ""));
        }
    }
    return soak.finish(QStringLiteral("%1 of %2 rounds").arg(round).arg(Rounds));
}
