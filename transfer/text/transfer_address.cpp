#include "text/transfer_address.h"

#include <QUrl>

namespace {

struct SchemeRow
{
    const char *name;
    int defaultPort;
    bool ssh;
    bool implicitTls;
};

constexpr SchemeRow Schemes[] = {
    {"ftp", 21, false, false},
    {"ftps", 990, false, true},
    {"sftp", 22, true, false},
};

} // namespace

QByteArray TransferAddress::serverUrl() const
{
    QUrl server;
    server.setScheme(scheme);
    server.setHost(host);
    server.setPort(port);
    return server.toEncoded();
}

std::optional<TransferAddress> transferAddress(const QString &url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return std::nullopt;
    const QString scheme = parsed.scheme().toLower();
    for (const SchemeRow &row : Schemes) {
        if (scheme != QLatin1String(row.name))
            continue;
        TransferAddress address;
        address.scheme = scheme;
        address.host = parsed.host();
        address.port = parsed.port(row.defaultPort);
        address.ssh = row.ssh;
        address.implicitTls = row.implicitTls;
        return address;
    }
    return std::nullopt;
}
