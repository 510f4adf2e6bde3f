#include "text/resume_text.h"

#include "local_path.h"
#include "text/operator_log.h"
#include "text/state_text.h"
#include "text/transfer_command.h"

#include <algorithm>

namespace {

QString bytes(qint64 count)
{
    return groupedNumber(count) + (count == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
}

} // namespace

QString resumeLocalPath(const TransferCommand &command)
{
    const QStringList &args = command.args;
    if (command.verb == TransferVerb::Reput || args.size() > 1)
        return localPath(command.verb == TransferVerb::Reput ? args.at(0) : args.at(1));
    return localPath(args.at(0).mid(args.at(0).lastIndexOf(QLatin1Char('/')) + 1));
}

QString resumeRemoteName(const TransferCommand &command)
{
    return command.verb == TransferVerb::Reput ? uploadRemoteName(command) : command.args.at(0);
}

qint64 firstDifference(QByteArrayView a, QByteArrayView b)
{
    const qsizetype length = std::min(a.size(), b.size());
    const auto [at, unused] = std::mismatch(a.begin(), a.begin() + length, b.begin());
    return at == a.begin() + length ? -1 : qint64(at - a.begin());
}

QString resumeMissingText(const QString &path, bool upload)
{
    if (upload)
        return QStringLiteral("There is no file %1 to resume the upload from").arg(path);
    return QStringLiteral("There is no partial file %1 to resume; GET fetches the whole file")
        .arg(path);
}

QString resumeNoSizeText(const QString &remote)
{
    return QStringLiteral("The server did not say the size of %1, which a resumed transfer "
                          "needs")
        .arg(remote);
}

QString resumeLargerText(const QString &local, const QString &remote, qint64 localSize,
                         qint64 remoteSize, bool upload)
{
    if (upload)
        return QStringLiteral("The server's %1 holds %2, more than %3 (%4): it is not a part of "
                              "it; nothing was sent and the server's file is unchanged")
            .arg(remote, bytes(remoteSize), local, bytes(localSize));
    return QStringLiteral("%1 holds %2, more than the server's file (%3): it is not a part of "
                          "it; nothing was fetched and the file is unchanged")
        .arg(local, bytes(localSize), bytes(remoteSize));
}

QString resumeMismatchText(const QString &local, const QString &remote, qint64 offset, bool upload)
{
    if (upload)
        return QStringLiteral("The server's %1 differs from %2 at byte %3: it is not a part of "
                              "it, so the rest was not sent; the server's file is unchanged")
            .arg(remote, local, groupedNumber(offset));
    return QStringLiteral("%1 differs from the server's file at byte %2: it is not a part of "
                          "it, so the rest was not appended; the file is unchanged")
        .arg(local, groupedNumber(offset));
}

QString resumeShortReadText(const QString &path, qint64 wanted, qint64 read)
{
    return QStringLiteral("The server sent %1 of the %2 to compare with the end of %3; nothing "
                          "was appended and the file is unchanged")
        .arg(bytes(read), bytes(wanted), path);
}

QString resumeWholeText(const QString &path, qint64 size, qint64 compared)
{
    return QStringLiteral("%1 is already whole (%2): its last %3 match the server's; nothing "
                          "was fetched")
        .arg(path, bytes(size), bytes(compared));
}

QString resumeSizeText(const QString &path, qint64 local, qint64 remote)
{
    return QStringLiteral("%1 now holds %2, but the server's file holds %3: the server's file "
                          "changed while it was fetched")
        .arg(path, bytes(local), bytes(remote));
}
