#pragma once

#include <QString>

#include <curl/curl.h>

// What is known about an operation when libcurl gives up on it.
struct FailureFacts
{
    CURLcode result = CURLE_OK;
    QString server; // "host:port"
    QString detail; // libcurl's own words
    int timeoutSeconds = 0;
    bool connected = false; // the control connection was up
    bool greeted = false;   // the server had said something
    bool loggedIn = false;  // the login was accepted
    qint32 lastCode = 0;    // the last reply's code
    QString lastReply;      // and its text
    QString lastCommand;    // the last command sent
    QString dataAddress;    // "address:port" of the data connection tried, if any
    bool dataFlowing = false;
    qint64 received = 0;
    qint64 expected = -1; // -1 when the server announced no size
};

// One line for the operator that names the phase that failed and the server,
// with libcurl's or the server's words after it where they help.
QString failureText(const FailureFacts &facts);
