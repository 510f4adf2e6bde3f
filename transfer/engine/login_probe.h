#pragma once

#include <QString>

#include <curl/curl.h>

// How a kept login's connection stands while nothing runs on it, read from
// its socket without taking anything off it.
struct LoginProbe
{
    enum class Kind {
        Open,   // nothing has come in: as far as this side can tell, it stands
        Said,   // the server said something unasked, a farewell such as 421
        Closed, // the server closed it without a word
        Reset,  // it was reset
    };
    Kind kind = Kind::Open;
    QString said; // the first line of what came in, when it reads as text
};

// Looks at `socket` without waiting: what came in unasked stays for libcurl.
LoginProbe probeSocket(curl_socket_t socket);

// "the server said \"421 Timeout.\"", "the connection was reset": why a kept
// login that the probe found cut is gone.
QString loginProbeText(const LoginProbe &probe);
