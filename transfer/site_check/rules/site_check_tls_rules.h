#pragma once

#include "text/report/site_check_report.h"

#include <QDateTime>
#include <QString>

// The rules of a site check about TLS: what protects the login, the
// certificate behind it, the data connections, and what this libcurl cannot
// do under TLS.

// Step 4: the protocol and cipher of the control connection, both empty
// when the server offers no TLS; `implicitTls` when it spoke TLS from its
// first byte (ftps://), with no AUTH TLS.
SiteCheckOutcome encryptionOutcome(const QString &protocol, const QString &cipher,
                                   bool implicitTls = false);

// Step 5: what is known of the server's certificate.
struct CertificateCheck
{
    bool tls = false;               // there is a certificate at all
    bool trustedBySystem = false;   // it passed the system's verification
    bool trustedByOperator = false; // the operator trusted it this session
    bool selfSigned = false;
    bool nameMatches = true;
    QDateTime notAfter;
    QString issuer;
};
// Expiring within `limits` the certificate warns or fails.
SiteCheckOutcome certificateOutcome(const CertificateCheck &certificate, const QDateTime &now,
                                    const CertificateLimits &limits = {});

// Step 10: over TLS, how the data connections were protected.
struct DataConnectionProtection
{
    bool tls = false;            // the login ran over TLS
    bool protectedData = false;  // PROT P was accepted
    bool sessionResumed = false; // the data connection resumed the login's TLS session
};
SiteCheckOutcome dataProtectionOutcome(const DataConnectionProtection &protection);

// Step 15 under TLS: whether this libcurl cannot accept an active data
// connection under TLS (7.87 and 7.88 lost it; it came back in 8.0), and the
// step's outcome when it cannot.
bool activeModeBrokenUnderTls(const QString &libcurlVersion);
SiteCheckOutcome activeModeSkippedOutcome(const QString &libcurlVersion);
