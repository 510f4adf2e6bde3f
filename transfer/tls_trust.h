#pragma once

#include "transfer_component.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Whether `host` names this machine (127.0.0.0/8, ::1, localhost and
// *.localhost): a clear-text login to it crosses no network.
bool isLoopbackHost(const QString &host);

// "TLS 1.3" from libcurl's "SSL connection using TLSv1.3 / TLS_AES_..." line;
// empty for any other line.
QString protectionFromCurlText(QByteArrayView line);

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
};

CertificateFacts certificateFacts(const QByteArray &pem);

// What the operator decided about one server this session.
struct ServerTrust
{
    QByteArray pin;         // a trusted certificate's key, when one was trusted
    QString fingerprint;    // and that certificate's fingerprint
    bool clearText = false; // agreed to log in without encryption
};
