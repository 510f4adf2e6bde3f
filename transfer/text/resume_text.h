#pragma once

#include <QByteArrayView>
#include <QString>

// What a resumed transfer (REGET, REPUT) compares and says.

struct TransferCommand;

// The local file: for REGET the partial one, named or else the remote file's
// name in the working folder; for REPUT the whole one.
QString resumeLocalPath(const TransferCommand &command);
// The server's file: for REPUT the one named, else the local file's name.
QString resumeRemoteName(const TransferCommand &command);

// The offset of the first byte where `a` and `b` differ, reading both from
// their start; -1 when the shorter is a start of the longer.
qint64 firstDifference(QByteArrayView a, QByteArrayView b);

// How many of the partial file's last bytes are compared with the server's.
constexpr qint64 ResumeOverlap = 64 * 1024;

QString resumeMissingText(const QString &path, bool upload);
QString resumeNoSizeText(const QString &remote);
QString resumeLargerText(const QString &local, const QString &remote, qint64 localSize,
                         qint64 remoteSize, bool upload);
QString resumeMismatchText(const QString &local, const QString &remote, qint64 offset, bool upload);
QString resumeShortReadText(const QString &path, qint64 wanted, qint64 read);
QString resumeWholeText(const QString &path, qint64 size, qint64 compared);
QString resumeSizeText(const QString &path, qint64 local, qint64 remote);
