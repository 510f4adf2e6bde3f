#include "text/proxy_address.h"

#include <QUrl>

#include <stdexcept>

namespace {

struct SchemeRow
{
    const char *scheme;
    ProxyAddress::Kind kind;
    const char *name; // as sentences name the proxy
};

// One row per scheme PROXY accepts; the refusal lists them from here.
constexpr SchemeRow kSchemes[] = {
    {"socks5", ProxyAddress::Kind::Socks5, "SOCKS5"},
    {"socks5h", ProxyAddress::Kind::Socks5Hostname, "SOCKS5"},
    {"http", ProxyAddress::Kind::HttpTunnel, "HTTP"},
};

const SchemeRow &rowOf(ProxyAddress::Kind kind)
{
    for (const SchemeRow &row : kSchemes)
        if (row.kind == kind)
            return row;
    return kSchemes[0];
}

QString acceptedSchemes()
{
    QStringList names;
    for (const SchemeRow &row : kSchemes)
        names << QLatin1String(row.scheme) + QLatin1String("://");
    return names.join(QLatin1String(", "));
}

QString bracketed(const QString &host)
{
    return host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
}

// The address as the operator typed it up to its login, which is left out:
// what a refusal may quote without showing a password.
QString withoutLogin(const QString &url)
{
    const qsizetype at = url.lastIndexOf(QLatin1Char('@'));
    if (at < 0)
        return url;
    const qsizetype start = url.indexOf(QLatin1String("://"));
    return (start >= 0 && start < at ? url.left(start + 3) : QString()) + url.mid(at + 1);
}

[[noreturn]] void refuse(const QString &url, const QString &why)
{
    throw std::invalid_argument(QStringLiteral("The proxy address \"%1\" %2; nothing was sent.")
                                    .arg(withoutLogin(url), why)
                                    .toStdString());
}

} // namespace

QByteArray ProxyAddress::curlUrl() const
{
    return QByteArray(rowOf(kind).scheme) + "://" + address().toUtf8();
}

QString ProxyAddress::address() const
{
    return bracketed(host) + QLatin1Char(':') + QString::number(port);
}

QString ProxyAddress::shown() const
{
    QString login;
    if (!user.isEmpty() || !password.isEmpty())
        login =
            user + (password.isEmpty() ? QString() : QStringLiteral(":****")) + QLatin1Char('@');
    return QLatin1String(rowOf(kind).scheme) + QLatin1String("://") + login + address();
}

QString ProxyAddress::route() const
{
    const QString proxy =
        QStringLiteral("the %1 proxy %2").arg(QLatin1String(rowOf(kind).name), address());
    return kind == Kind::HttpTunnel ? proxy + QStringLiteral(" (CONNECT tunnel)") : proxy;
}

ProxyAddress parseProxyAddress(const QString &url)
{
    for (const QChar c : url)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            refuse(QString(), QStringLiteral("holds a control character"));
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    const SchemeRow *row = nullptr;
    for (const SchemeRow &candidate : kSchemes)
        if (scheme == QLatin1String(candidate.scheme))
            row = &candidate;
    if (!row || !url.contains(QLatin1String("://")))
        refuse(url, QStringLiteral("is no proxy this console can use: it takes %1 (an HTTP "
                                   "CONNECT tunnel)")
                        .arg(acceptedSchemes()));
    // QUrl takes a port past 65535 for a malformed address.
    if (!parsed.isValid() && parsed.errorString().contains(QLatin1String("port")))
        refuse(url, QStringLiteral("names a port outside 1 to 65535"));
    if (!parsed.isValid() || parsed.host().isEmpty())
        refuse(url, QStringLiteral("names no host"));
    const QString path = parsed.path();
    if ((!path.isEmpty() && path != QLatin1String("/")) || parsed.hasQuery() ||
        parsed.hasFragment())
        refuse(url, QStringLiteral("holds more than a host and port"));
    ProxyAddress proxy;
    proxy.kind = row->kind;
    proxy.host = parsed.host();
    proxy.port = parsed.port(1080);
    if (proxy.port < 1 || proxy.port > 65535)
        refuse(url, QStringLiteral("names a port outside 1 to 65535"));
    proxy.user = parsed.userName(QUrl::FullyDecoded);
    proxy.password = parsed.password(QUrl::FullyDecoded);
    return proxy;
}

std::optional<EnvironmentProxy> environmentProxy(bool ftpSite,
                                                 const std::function<QString(const char *)> &read)
{
    static const char *const ftpNames[] = {"ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY"};
    static const char *const otherNames[] = {"all_proxy", "ALL_PROXY"};
    const auto pick = [&](auto &names) -> std::optional<EnvironmentProxy> {
        for (const char *name : names) {
            const QString value = read(name).trimmed();
            if (!value.isEmpty())
                return EnvironmentProxy{QLatin1String(name), value};
        }
        return std::nullopt;
    };
    std::optional<EnvironmentProxy> found = ftpSite ? pick(ftpNames) : pick(otherNames);
    if (found && !found->value.contains(QLatin1String("://")))
        found->value.prepend(QLatin1String("http://"));
    return found;
}

QString proxyInUseText(const ProxyAddress &proxy)
{
    return QStringLiteral("Proxy: %1, for every connection of the commands that follow")
        .arg(proxy.shown());
}

QString noProxyText()
{
    return QStringLiteral("No proxy: the commands that follow connect to the server directly");
}

QString environmentProxyText(const std::optional<EnvironmentProxy> &ftp,
                             const std::optional<EnvironmentProxy> &other)
{
    const auto shown = [](const EnvironmentProxy &found) {
        QString value = withoutLogin(found.value);
        try {
            value = parseProxyAddress(found.value).shown();
        } catch (const std::invalid_argument &) {
        }
        return QStringLiteral("%1 from %2").arg(value, found.variable);
    };
    QStringList parts;
    if (ftp && other && *ftp == *other)
        parts << QStringLiteral("%1 for every site").arg(shown(*ftp));
    else {
        if (ftp)
            parts << QStringLiteral("%1 for FTP and FTPS sites").arg(shown(*ftp));
        if (other)
            parts << QStringLiteral("%1 for SFTP sites").arg(shown(*other));
    }
    if (parts.isEmpty())
        return {};
    return QStringLiteral("Proxy set in the environment, in use: %1. PROXY OFF connects directly; "
                          "PROXY URL sets another.")
        .arg(parts.join(QLatin1String("; ")));
}

QString routedAddress(const QString &socketAddress, const QString &target,
                      const std::optional<ProxyAddress> &proxy)
{
    if (!proxy)
        return socketAddress;
    return QStringLiteral("%1 through %2")
        .arg(target.isEmpty() ? QStringLiteral("the server") : target, proxy->route());
}

QString activeModeThroughProxyText(const ProxyAddress &proxy)
{
    return QStringLiteral("Active mode is not tried through %1: the server would have to connect "
                          "back to this machine, which no proxy passes on; passive mode is used")
        .arg(proxy.route());
}

bool ProxyTunnelTalk::take(curl_infotype type, QByteArrayView data, QString &line)
{
    line.clear();
    // The transfer's payload passes through here too, piece by piece: only
    // header lines can be part of the exchange, and nothing else is read.
    if (type != CURLINFO_HEADER_OUT && type != CURLINFO_HEADER_IN)
        return false;
    const qsizetype end = data.indexOf('\n');
    const QByteArrayView first = (end < 0 ? data : data.first(end)).trimmed();
    if (type == CURLINFO_HEADER_OUT && data.startsWith("CONNECT ")) {
        m_phase = Phase::Asked;
        line = QStringLiteral("Proxy: ") + QString::fromUtf8(first);
        return true;
    }
    if (type != CURLINFO_HEADER_IN || m_phase == Phase::None)
        return false;
    if (m_phase == Phase::Asked && !first.startsWith("HTTP/")) {
        m_phase = Phase::None;
        return false;
    }
    m_phase = first.isEmpty() ? Phase::None : Phase::Answering;
    if (!first.isEmpty())
        line = QStringLiteral("Proxy: ") + QString::fromUtf8(first);
    return true;
}
