#pragma once

#include "text/proxy_address.h"

#include <QByteArray>

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

// libcurl refused what this program asked of it: a fault of the program or of
// the libcurl it runs with, never of the server or the operator. Its text is
// for the protocol log; the operator reads internalFaultText().
class CurlFault final : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Owners for libcurl's handles and lists, and option setting that fails
// loudly: an option libcurl refuses would otherwise be dropped without a word
// and the request would run with a default the operator never asked for.

struct CurlEasyDeleter
{
    void operator()(CURL *easy) const { curl_easy_cleanup(easy); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlListDeleter
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

inline void appendTo(CurlList &list, const QByteArray &line)
{
    curl_slist *grown = curl_slist_append(list.get(), line.constData());
    if (!grown)
        throw CurlFault("libcurl could not add to a command list (out of memory)");
    list.release();
    list.reset(grown);
}

template <typename T> void setOption(CURL *easy, CURLoption option, T value)
{
    const CURLcode result = curl_easy_setopt(easy, option, value);
    if (result != CURLE_OK)
        throw CurlFault("libcurl refused option " + std::to_string(int(option)) + ": " +
                        curl_easy_strerror(result));
}

// Every option of `easy` back to its default, then `url` over `protocol`
// alone, through `proxy` or none. libcurl would otherwise take a proxy from
// the environment (all_proxy, ftp_proxy and their capital forms) without a
// word, and an HTTP proxy turns an FTP request into an HTTP GET that carries
// the password in clear: the console reads the environment itself and says
// so, and an HTTP proxy is always a CONNECT tunnel, for the control and every
// data connection. The proxy's login travels as options, never in a URL.
inline void startRequest(CURL *easy, const QByteArray &url, const char *protocol,
                         const std::optional<ProxyAddress> &proxy)
{
    curl_easy_reset(easy);
    setOption(easy, CURLOPT_URL, url.constData());
    setOption(easy, CURLOPT_PROTOCOLS_STR, protocol);
    // The system's own keepalive on every connection, so that a path that
    // forgets idle flows hears from it within a minute and a half, and a peer
    // that vanished is noticed even during a long transfer's silence.
    setOption(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    setOption(easy, CURLOPT_TCP_KEEPIDLE, 60L);
    setOption(easy, CURLOPT_TCP_KEEPINTVL, 15L);
    if (!proxy) {
        setOption(easy, CURLOPT_PROXY, "");
        return;
    }
    setOption(easy, CURLOPT_PROXY, proxy->curlUrl().constData());
    setOption(easy, CURLOPT_NOPROXY, "");
    if (!proxy->user.isEmpty() || !proxy->password.isEmpty()) {
        setOption(easy, CURLOPT_PROXYUSERNAME, proxy->user.toUtf8().constData());
        setOption(easy, CURLOPT_PROXYPASSWORD, proxy->password.toUtf8().constData());
    }
    if (proxy->kind == ProxyAddress::Kind::HttpTunnel) {
        setOption(easy, CURLOPT_HTTPPROXYTUNNEL, 1L);
        // The proxy's answer to CONNECT is no reply of the server's.
        setOption(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    }
}

// Sets an operation's reply and debug callbacks into `easy`, with the
// operation as their data, and libcurl's verbose output on: the debug
// callback sorts it for the protocol log.
inline void setReplyCallbacks(CURL *easy, curl_write_callback onHeader, curl_debug_callback onDebug,
                              void *operation)
{
    setOption(easy, CURLOPT_HEADERFUNCTION, onHeader);
    setOption(easy, CURLOPT_HEADERDATA, operation);
    setOption(easy, CURLOPT_VERBOSE, 1L);
    setOption(easy, CURLOPT_DEBUGFUNCTION, onDebug);
    setOption(easy, CURLOPT_DEBUGDATA, operation);
}
