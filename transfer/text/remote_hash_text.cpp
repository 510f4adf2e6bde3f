#include "text/remote_hash_text.h"

#include "text/operator_log.h"

QString remoteHashText(const QString &algorithm, const QString &hex, qint64 readBack)
{
    if (readBack < 0)
        return QStringLiteral("%1 %2, computed by the server").arg(algorithm, hex);
    return QStringLiteral("%1 %2, computed here from a read-back of %3 bytes")
        .arg(algorithm, hex, groupedNumber(readBack));
}

QString hashMatchText(const QString &remote, const QString &local, bool match,
                      const QString &localHex)
{
    if (match)
        return QStringLiteral("%1; %2 matches it").arg(remote, local);
    return QStringLiteral("%1; %2 differs: %3").arg(remote, local, localHex);
}

QString uploadCheckedText(const QString &remote, qint64 size, const QString &algorithm)
{
    return QStringLiteral("%1 stored whole (%2 bytes), %3 checked against the server's")
        .arg(remote, groupedNumber(size), algorithm);
}

QString uploadDiffersText(const QString &remote, const QString &algorithm, const QString &serverHex,
                          const QString &sentHex)
{
    return QStringLiteral("The server's %1 of %2 is %3, that of what was sent %4: the remote file "
                          "differs from what was sent")
        .arg(algorithm, remote, serverHex, sentHex);
}
