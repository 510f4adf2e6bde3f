#include "text/proxy_failure_text.h"

#include "text/connection_text.h"

namespace {

// The SOCKS5 proxy's own refusals (RFC 1928 replies), by libcurl's code.
QString socksRefusal(const ProxyFailureFacts &f)
{
    const QString proxy = f.proxy.route();
    switch (CURLproxycode(f.proxyError)) {
    case CURLPX_USER_REJECTED:
        return QStringLiteral("The proxy login was refused by %1: check the user and password "
                              "in the proxy address")
            .arg(proxy);
    case CURLPX_NO_AUTH:
        return QStringLiteral("%1 wants a login this console could not give: put user:password@ "
                              "in the proxy address")
            .arg(proxy);
    case CURLPX_REPLY_CONNECTION_REFUSED:
        return QStringLiteral("%1 refused the connection to %2: nothing accepts connections "
                              "there, as the proxy sees it")
            .arg(proxy, f.server);
    case CURLPX_REPLY_NOT_ALLOWED:
        return QStringLiteral("%1 refused the connection to %2: its rules do not allow it")
            .arg(proxy, f.server);
    case CURLPX_REPLY_HOST_UNREACHABLE:
    case CURLPX_REPLY_NETWORK_UNREACHABLE:
    case CURLPX_REPLY_TTL_EXPIRED:
        return QStringLiteral("%1 cannot reach %2").arg(proxy, f.server);
    case CURLPX_RESOLVE_HOST:
        return unresolvedHostText(f.server, f.detail);
    default:
        return withFailureDetail(
            QStringLiteral("%1 refused the connection to %2").arg(proxy, f.server), f.detail);
    }
}

QString connectRefusal(const ProxyFailureFacts &f)
{
    const QString proxy = f.proxy.route();
    if (f.connectCode == 407)
        return f.proxy.user.isEmpty()
                   ? QStringLiteral("%1 wants a login (407): put user:password@ in the proxy "
                                    "address")
                         .arg(proxy)
                   : QStringLiteral("The proxy login was refused by %1 (407): check the user "
                                    "and password in the proxy address")
                         .arg(proxy);
    return QStringLiteral("%1 refused the connection to %2 (it answered CONNECT with %3)")
        .arg(proxy, f.server)
        .arg(f.connectCode);
}

} // namespace

std::optional<QString> proxyFailureText(const ProxyFailureFacts &f)
{
    QString text;
    if (f.connectCode != 0 && f.connectCode / 100 != 2)
        text = connectRefusal(f);
    else if (f.result == CURLE_PROXY || f.proxyError != CURLPX_OK)
        text = socksRefusal(f);
    else if (f.result == CURLE_COULDNT_RESOLVE_PROXY)
        text = withFailureDetail(
            QStringLiteral("Cannot find %1: its name does not resolve").arg(f.proxy.route()),
            f.detail);
    else if (f.result == CURLE_COULDNT_CONNECT && f.refused)
        text = QStringLiteral("Nothing accepts connections on %1: the proxy is not running, or it "
                              "listens on another port")
                   .arg(f.proxy.route());
    else if (f.result == CURLE_COULDNT_CONNECT)
        text = withFailureDetail(QStringLiteral("Cannot connect to %1").arg(f.proxy.route()),
                                 f.detail);
    else
        return std::nullopt;
    // "the SOCKS5 proxy ..." starts most sentences.
    text[0] = text[0].toUpper();
    return text;
}

QString proxyFailureHint()
{
    return QStringLiteral("Check the proxy's address, its login and what it lets through, or "
                          "connect directly with PROXY OFF.");
}
