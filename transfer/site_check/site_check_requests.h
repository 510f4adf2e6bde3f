#pragma once

#include "engine/curl_handles.h"
#include "engine/engine_messages.h"
#include "site_check/site_check_sequence.h"

// How each request of a site check is set into a libcurl handle, beyond
// what every request shares (prepareBareRequest and the operation's
// callbacks). The command lists stay with the caller while the request runs.
struct SiteCheckCommands
{
    CurlList quote;     // before the request, in the folder the last one left
    CurlList postQuote; // after it, in the test folder; only when it succeeded
};
void setSiteCheckRequest(CURL *easy, SiteCheckRequest request, const QString &fileName,
                         const QStringList &featLines, SiteCheckCommands &commands);
