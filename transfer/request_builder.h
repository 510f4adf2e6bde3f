#pragma once

#include "curl_handles.h"
#include "engine_messages.h"

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

// How the login is protected.
struct TlsSettings
{
    enum class Use {
        Required,  // AUTH TLS must succeed, or nothing of the account is sent
        IfOffered, // clear text when the server refuses AUTH TLS
        Off,       // the operator agreed to clear text
    };
    enum class Check {
        Authorities, // the system's trusted authorities and the host name
        Pinned,      // exactly the key the operator trusted
        Probe,       // fetch the certificate and stop before the login
    };
    Use use = Use::Required;
    Check check = Check::Authorities;
    QByteArray pin;
    CURLSH *share = nullptr; // TLS sessions shared by every operation's handle
};

// Resets `easy` and sets the request into it. Throws std::runtime_error when
// libcurl refuses the request.
PreparedRequest prepareRequest(CURL *easy, const EngineRequest &request, const TlsSettings &tls);
