#pragma once

#include "text/transfer_values.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <curl/curl.h>

// Whether `host` names this machine (127.0.0.0/8, ::1, localhost and
// *.localhost): a clear-text login to it crosses no network.
bool isLoopbackHost(const QString &host);

// What the operator decided about one server this session.
struct ServerTrust
{
    QByteArray pin;         // a trusted certificate's key, when one was trusted
    QString fingerprint;    // and that certificate's fingerprint
    bool clearText = false; // agreed to log in without encryption
    QByteArray hostKey;     // SSH: the SHA-256 of the host key trusted, base64 without padding
};

// How a login is protected.
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

// The protection a login to a server asks for: TLS required, unless the
// operator agreed to clear text or the server is this machine (then TLS if
// offered); the certificate checked as `check` says, or pinned to the key
// the operator trusted.
TlsSettings tlsSettingsFor(bool clearTextNeedsConsent, const ServerTrust &trust,
                           TlsSettings::Check check, CURLSH *share);

// What follows an attempt that ended with `result` under `check`: the end of
// the operation, a second attempt that only fetches the certificate, or a
// question for the operator. Nothing of the account has gone out when the
// answer is anything but End.
enum class TlsNextStep { End, Probe, AskCertificate, AskClearText };
TlsNextStep nextTlsStep(CURLcode result, TlsSettings::Check check, bool clearTextNeedsConsent);

// "TLS 1.2" from OpenSSL's "TLSv1.2"; empty for anything else.
QString protectionName(QByteArrayView openSslVersion);

// A server certificate as the operator is asked about it, read from the PEM
// text libcurl hands over, with the pin that holds exactly its key.
struct CertificateFacts
{
    bool valid = false;
    QString subject;
    QString issuer;
    QDateTime notBefore;
    QDateTime notAfter;
    QString fingerprint; // SHA-256 of the certificate, "AB:CD:..."
    QByteArray pin;      // for CURLOPT_PINNEDPUBLICKEY: "sha256//" + base64
    QStringList names;   // the host names and addresses it is made out to
};

CertificateFacts certificateFacts(const QByteArray &pem);
CertificateFacts certificateFactsFromDer(const QByteArray &der);
