#pragma once

#include <QByteArray>
#include <QString>

// Files for the benchmarks: made of a fixed pseudo-random pattern, so a
// transfer that drops, repeats or reorders data shows up in a comparison.

// A folder for benchmark files in RAM (/dev/shm), so neither side of a
// transfer waits for a disk; the system's temporary folder where there is none.
QString ramFolderTemplate();

// Writes `size` bytes of the pattern for `seed` to `path`, replacing it.
bool writePatternFile(const QString &path, qint64 size, quint32 seed);

// The pattern itself, for files small enough to hold in memory.
QByteArray patternBytes(qint64 size, quint32 seed);

// SHA-256 of a file's contents; empty when it cannot be read.
QByteArray fileSha256(const QString &path);
