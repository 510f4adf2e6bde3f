#include "engine/libcurl_version.h"

#include <curl/curl.h>

QString libcurlVersion()
{
    return QString::fromLatin1(curl_version_info(CURLVERSION_NOW)->version);
}
