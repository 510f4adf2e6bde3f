#pragma once

#include <QString>

#include <optional>

// Where a transfer URL points and how it is spoken to, from its scheme in any
// letter case: "ftp://" is FTP (port 21), "ftps://" FTP with TLS from the
// first byte (implicit TLS, port 990), "sftp://" SFTP (port 22). A port in
// the URL stands for the scheme's own.
struct TransferAddress
{
    QString scheme; // "ftp", "ftps" or "sftp", lower case
    QString host;
    int port = 0;
    bool ssh = false;         // SFTP
    bool implicitTls = false; // FTPS on a port that speaks TLS before anything else

    // "scheme://host:port", no path and no account, as libcurl is given it.
    QByteArray serverUrl() const;
};

// Nothing when the URL names no host or another scheme.
std::optional<TransferAddress> transferAddress(const QString &url);
