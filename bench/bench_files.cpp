#include "bench_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

QString ramFolderTemplate()
{
    const QString shm = QStringLiteral("/dev/shm");
    const QFileInfo info(shm);
    const QString base = info.isDir() && info.isWritable() ? shm : QDir::tempPath();
    return base + QStringLiteral("/sarvel-bench-XXXXXX");
}

QByteArray patternBytes(qint64 size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    // Whole 32-bit words where they fit, then the odd tail byte by byte.
    const qint64 words = size / 4;
    generator.fillRange(reinterpret_cast<quint32 *>(data.data()), words);
    for (qint64 i = words * 4; i < size; ++i)
        data[i] = char(generator.generate());
    return data;
}

bool writePatternFile(const QString &path, qint64 size, quint32 seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // One block repeated: random enough for any comparison, cheap to write
    // at hundreds of megabytes.
    const qint64 blockSize = 1 << 20;
    const QByteArray block = patternBytes(qMin(size, blockSize), seed);
    for (qint64 written = 0; written < size; written += blockSize) {
        const qint64 part = qMin(blockSize, size - written);
        // The block is rotated by its index, so equal blocks at other
        // offsets differ and a misplaced one is caught.
        const qint64 shift = (written / blockSize * 4099) % qMax<qint64>(1, block.size());
        const QByteArray rotated = block.mid(shift) + block.left(shift);
        if (file.write(rotated.constData(), part) != part)
            return false;
    }
    return true;
}

QByteArray fileSha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}
