#include "engine/tls_trust.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslKey>

bool isLoopbackHost(const QString &host)
{
    QString name = host.toLower();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    if (name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost")))
        return true;
    const QHostAddress address(name);
    return !address.isNull() && address.isLoopback();
}

TlsSettings tlsSettingsFor(bool clearTextNeedsConsent, const ServerTrust &trust,
                           TlsSettings::Check check, CURLSH *share)
{
    TlsSettings tls;
    tls.share = share;
    if (trust.clearText)
        tls.use = TlsSettings::Use::Off;
    else if (!clearTextNeedsConsent)
        tls.use = TlsSettings::Use::IfOffered;
    tls.check = check;
    if (check == TlsSettings::Check::Authorities && !trust.pin.isEmpty()) {
        tls.check = TlsSettings::Check::Pinned;
        tls.pin = trust.pin;
    }
    return tls;
}

TlsNextStep nextTlsStep(CURLcode result, TlsSettings::Check check, bool clearTextNeedsConsent)
{
    switch (result) {
    case CURLE_USE_SSL_FAILED:
        return clearTextNeedsConsent ? TlsNextStep::AskClearText : TlsNextStep::End;
    case CURLE_PEER_FAILED_VERIFICATION:
        // The probe turns verification off, so this is not its result.
        return check == TlsSettings::Check::Probe ? TlsNextStep::End : TlsNextStep::Probe;
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        // The probe's pin matches no key by design: the certificate is in hand.
        return check == TlsSettings::Check::Probe ? TlsNextStep::AskCertificate
                                                  : TlsNextStep::Probe;
    default:
        return TlsNextStep::End;
    }
}

QString protectionName(QByteArrayView openSslVersion)
{
    static constexpr QByteArrayView prefix = "TLSv";
    if (!openSslVersion.startsWith(prefix) || openSslVersion.size() == prefix.size())
        return {};
    return QStringLiteral("TLS ") + QString::fromLatin1(openSslVersion.sliced(prefix.size()));
}

namespace {

QString distinguishedName(const QSslCertificate &certificate, bool issuer)
{
    const QList<QByteArray> attributes =
        issuer ? certificate.issuerInfoAttributes() : certificate.subjectInfoAttributes();
    QStringList parts;
    for (const QByteArray &attribute : attributes) {
        const QStringList values =
            issuer ? certificate.issuerInfo(attribute) : certificate.subjectInfo(attribute);
        for (const QString &value : values)
            parts << QString::fromLatin1(attribute) + QLatin1Char('=') + value;
    }
    return parts.join(QStringLiteral(", "));
}

CertificateFacts factsOf(const QSslCertificate &certificate)
{
    CertificateFacts facts;
    if (certificate.isNull())
        return facts;
    facts.valid = true;
    facts.subject = distinguishedName(certificate, false);
    facts.issuer = distinguishedName(certificate, true);
    facts.notBefore = certificate.effectiveDate();
    facts.notAfter = certificate.expiryDate();
    // Its alternative names when it has any, as a TLS client reads them;
    // else its common name.
    const auto alternatives = certificate.subjectAlternativeNames();
    for (auto entry = alternatives.cbegin(); entry != alternatives.cend(); ++entry)
        facts.names << entry.value();
    if (facts.names.isEmpty())
        facts.names = certificate.subjectInfo(QSslCertificate::CommonName);
    facts.fingerprint =
        QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    // The pin is the SHA-256 of the key's SubjectPublicKeyInfo, as libcurl wants it.
    const QByteArray key = certificate.publicKey().toDer();
    facts.pin = "sha256//" + QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64();
    return facts;
}

} // namespace

CertificateFacts certificateFacts(const QByteArray &pem)
{
    return factsOf(QSslCertificate(pem, QSsl::Pem));
}

CertificateFacts certificateFactsFromDer(const QByteArray &der)
{
    return factsOf(QSslCertificate(der, QSsl::Der));
}
