#pragma once

#include "engine/operation.h"

#include <optional>

// What follows an attempt whose TLS went wrong, for every FTP operation: a
// second attempt that only fetches the certificate, the question about it or
// about clear text; nothing when the attempt simply ended. Nothing of the
// account has gone out when this gives a step.
struct TlsAttempt
{
    CURL *easy = nullptr;
    CURLcode result = CURLE_OK;
    TlsSettings::Check check = TlsSettings::Check::Authorities;
    bool clearTextNeedsConsent = true;
    QString detail;       // libcurl's words for the result
    QString checkFailure; // why the check failed before this probe
    ServerTrust trust;    // what the operator decided before
    QString server;       // "host:port"
};
std::optional<OperationStep> tlsDecision(const TlsAttempt &attempt);
