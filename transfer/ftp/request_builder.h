#pragma once

#include "engine/curl_handles.h"
#include "engine/engine_messages.h"
#include "engine/tls_trust.h"

#include <optional>

// An FTP command, the current folder and the site's settings, set into a
// libcurl easy handle. The caller adds its callbacks and the data's files.
struct PreparedRequest
{
    enum class Data { None, Download, Upload };

    CURL *easy = nullptr;
    CurlList quote;
    CurlList postQuote;
    Data data = Data::None;
    // A download's local file (empty: kept for GetChunk only), an upload's source.
    QString localName;
    std::optional<RemoteFolder> newFolder; // where CD and CDUP lead
};

// Resets `easy` and sets the order into it; with `announceUtf8` the login is
// first told that names are UTF-8. With `askFeatures`, an upload checked by
// hash asks FEAT on its way. With `wake`, a kept login that has been
// idle a while gets a NOOP first: libcurl 7.88 times the first reply of a
// request from the last command sent on the connection, so a request that
// sends nothing before it waits (PWD, MKDIR, CD into the current folder)
// would fail at once after an idle longer than the time-out. Throws
// std::runtime_error when libcurl refuses the request.
PreparedRequest prepareRequest(CURL *easy, const OperationOrder &order, const TlsSettings &tls,
                               bool announceUtf8, bool askFeatures = true, bool wake = false);

// Resets `easy` and sets only what every request shares into it: `url`, the
// account, the time limits and the protection. For operations that make
// several requests of their own.
void prepareBareRequest(CURL *easy, const OperationOrder &order, const QByteArray &url,
                        const TlsSettings &tls);
