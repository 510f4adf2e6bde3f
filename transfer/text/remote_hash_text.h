#pragma once

#include <QString>

// What HASH says: "SHA-256 9f86d0…, computed by the server" or "…, computed
// here from a read-back of 4,194,304 bytes" (`readBack` negative for the
// server's own); with a local file, whether it matches.
QString remoteHashText(const QString &algorithm, const QString &hex, qint64 readBack);
QString hashMatchText(const QString &remote, const QString &local, bool match,
                      const QString &localHex);

// After a PUT checked by hash: "up.bin stored whole (4,096 bytes), SHA-256
// checked against the server's", or why the server's copy is not what was sent.
QString uploadCheckedText(const QString &remote, qint64 size, const QString &algorithm);
QString uploadDiffersText(const QString &remote, const QString &algorithm, const QString &serverHex,
                          const QString &sentHex);
