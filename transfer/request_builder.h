#pragma once

#include "curl_handles.h"
#include "engine_messages.h"

#include <optional>

// An FTP command, the current folder and the site's settings, turned into a
// libcurl easy handle. The caller adds its callbacks and the data's files.
struct PreparedRequest
{
    enum class Data { None, Download, Upload };

    CurlEasy easy;
    CurlList quote;
    CurlList postQuote;
    Data data = Data::None;
    // A download's local file (empty: kept for GetChunk only), an upload's source.
    QString localName;
    std::optional<RemoteFolder> newFolder; // where CD and CDUP lead
};

// Throws std::runtime_error when libcurl refuses the request.
PreparedRequest prepareRequest(const EngineRequest &request);
