#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What HASH asks an FTP server and reads from its answers, and what it says.

// The hashes a server's FEAT reply offers: the HASH command's algorithms
// ("SHA-256", "SHA-1", ...) and the older commands of their own ("XSHA256",
// "XSHA1", "XMD5", "XCRC"), as listed.
struct FtpHashOffer
{
    QStringList algorithms;
    QStringList commands;
};
FtpHashOffer ftpHashOffer(const QString &featReply);

// The commands that ask the server for the hash of `name`, and the
// algorithm they give: HASH with SHA-256 where offered (chosen with OPTS
// HASH), else HASH with what the server has chosen, else XSHA256, XSHA1 or
// XMD5. Nothing when the server offers none of them.
struct FtpHashRequest
{
    QStringList commands;
    QString algorithm; // "SHA-256"
    bool hashCommand = false;
};
std::optional<FtpHashRequest> ftpHashRequest(const FtpHashOffer &offer, const QString &name);

// The hexadecimal hash in the server's reply (lower case): HASH's "213
// SHA-256 0-49 <hash> name", or the older commands' "213 <hash>" or "250
// <hash>". Nothing when the reply holds none.
std::optional<QByteArray> hashInReply(int code, const QString &reply, bool hashCommand);

// Qt's algorithm of that name, where Qt has it.
std::optional<QCryptographicHash::Algorithm> hashAlgorithm(const QString &name);

// "SHA-256 9f86d0…, computed by the server" / "…, computed here from a
// read-back of 4,194,304 bytes"; with a local file, whether they match.
QString remoteHashText(const QString &algorithm, const QByteArray &hex, qint64 readBack);
QString hashMatchText(const QString &remote, const QString &local, bool match,
                      const QByteArray &localHex);
