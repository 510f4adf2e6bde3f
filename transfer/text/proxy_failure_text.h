#pragma once

#include "text/proxy_address.h"

#include <QString>

#include <curl/curl.h>

#include <optional>

// What is known when a command through a proxy fails.
struct ProxyFailureFacts
{
    CURLcode result = CURLE_OK;
    ProxyAddress proxy;
    QString server;       // "host:port" behind the proxy
    QString detail;       // libcurl's own words
    long proxyError = 0;  // CURLINFO_PROXY_ERROR: a SOCKS proxy's refusal
    long connectCode = 0; // CURLINFO_HTTP_CONNECTCODE: an HTTP proxy's answer to CONNECT
    bool refused = false; // the proxy's host turned the connection away
};

// The sentence when it was the proxy that failed, not the server: it cannot
// be found or reached, it refused its login, or it refused or could not
// make the connection to the server ("The SOCKS5 proxy 127.0.0.1:1080
// refused the connection to 127.0.0.1:2121"). Nothing when the failure is
// the server's, which the protocol's own sentence says.
std::optional<QString> proxyFailureText(const ProxyFailureFacts &facts);
// What to do about it, for a site check's step.
QString proxyFailureHint();
