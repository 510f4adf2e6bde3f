#pragma once

#include <QByteArrayView>
#include <QString>

// What a resumed download (REGET) compares and says.

struct TransferCommand;

// The partial file REGET resumes: the one named, else the remote file's name
// in the working folder.
QString resumeLocalPath(const TransferCommand &command);

// The offset of the first byte where `a` and `b` differ, reading both from
// their start; -1 when the shorter is a start of the longer.
qint64 firstDifference(QByteArrayView a, QByteArrayView b);

// How many of the partial file's last bytes are compared with the server's.
constexpr qint64 ResumeOverlap = 64 * 1024;

QString resumeMissingText(const QString &path);
QString resumeLargerText(const QString &path, qint64 local, qint64 remote);
QString resumeMismatchText(const QString &path, qint64 offset);
QString resumeShortReadText(const QString &path, qint64 wanted, qint64 read);
QString resumeWholeText(const QString &path, qint64 size, qint64 compared);
QString resumeSizeText(const QString &path, qint64 local, qint64 remote);
