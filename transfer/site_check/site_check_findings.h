#pragma once

#include "engine/connection_watch.h"
#include "engine/tls_trust.h"
#include "site_check/rules/site_check_rules.h"
#include "site_check/site_check_transcript.h"

#include <QDateTime>

#include <curl/curl.h>

// The facts a site check gathers, request by request, and the steps they
// make: each function reads what its request saw and hands the rules of
// site_check_rules.h, site_check_tls_rules.h and site_check_file_rules.h
// their inputs. The replies behind a step come from the transcript.

// The login's request: connection, greeting, TLS, login, SYST and FEAT.
struct SiteCheckLoginFacts
{
    QString host;
    int port = 21;
    QString user;
    QStringList addresses; // what the name resolved to
    qint64 resolveMs = -1;
    CURLcode result = CURLE_OK;
    bool connected = false;
    bool timedOut = false;
    int timeoutSeconds = 0; // how long a reply may take
    long osErrno = 0;
    QString peer; // the address the control connection reached
    // Through a proxy: "the SOCKS5 proxy 127.0.0.1:1080", and why it failed
    // when it was the proxy that did.
    QString route;
    QString proxyFailure;
    qint64 connectMs = -1;
    bool tls = false;
    bool implicitTls = false; // TLS from the first byte, before the greeting
    TlsHandshake handshake;
    qint64 tlsMs = -1;
    TlsSettings::Check check = TlsSettings::Check::Authorities;
    CertificateLimits certificateLimits;
};
// Steps 1 to 7, as far as the login got: the list ends at the first failure.
QList<SiteCheckStep> loginSteps(const SiteCheckLoginFacts &facts,
                                const SiteCheckTranscript &transcript, const QDateTime &nowUtc);

// The passive listing's request (PASV on its own goes first in it).
struct SiteCheckListingFacts
{
    CURLcode result = CURLE_OK;
    QByteArray listing;
    QString dataAddress; // "address:port" of the data connection
    QString peer;        // of the control connection
    qint64 elapsedMs = -1;
    bool tls = false;
    bool dataResumed = false; // the data connection resumed the login's TLS session
    qsizetype from = 0;       // the request's first exchange
};
// Steps 8, 9 and 10.
QList<SiteCheckStep> listingSteps(const SiteCheckListingFacts &facts,
                                  const SiteCheckTranscript &transcript);

// SIZE, MDTM and the hash command after the upload, and what was sent.
struct SiteCheckUploadFacts
{
    QString folder;
    QByteArray payload;
    QDateTime uploadEndedUtc;
    QStringList featLines;
    qint64 elapsedMs = -1;
    qsizetype from = 0;
    qint64 allSentMs = -1; // the last byte handed over, on the transcript's clock
    // The data went out whole but the final reply did not come within this
    // many seconds; 0 when it came, or the data did not go out whole.
    int unconfirmedAfter = 0;
};
// Step 11, and step 12 when the file was written.
QList<SiteCheckStep> uploadSteps(const SiteCheckUploadFacts &facts,
                                 const SiteCheckTranscript &transcript);

// The addresses `host` resolves to, IPv4 and IPv6, each once; step 1's
// facts. The calling thread waits for the system's resolver.
QStringList resolveHost(const QString &host);

// A step with its outcome, time, measured values and the reply behind it.
SiteCheckStep siteCheckStep(SiteCheckStepId id, const SiteCheckOutcome &outcome, qint64 elapsedMs,
                            const QVariantMap &measured = {},
                            const SiteCheckExchange *reply = nullptr);

// "192.168.1.10" from a 227 reply's "(192,168,1,10,195,80)"; empty when it
// names no address.
QString pasvAddress(const QString &reply);
