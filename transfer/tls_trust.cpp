#include "tls_trust.h"

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

QString protectionFromCurlText(QByteArrayView line)
{
    // libcurl's OpenSSL backend: "SSL connection using TLSv1.2 / ECDHE-RSA-...".
    static constexpr QByteArrayView prefix = "SSL connection using TLSv";
    if (!line.startsWith(prefix))
        return {};
    const QByteArrayView rest = line.sliced(prefix.size());
    const qsizetype end = rest.indexOf(' ');
    const QByteArrayView version = end < 0 ? rest : rest.first(end);
    if (version.isEmpty())
        return {};
    return QStringLiteral("TLS ") + QString::fromLatin1(version);
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

} // namespace

CertificateFacts certificateFacts(const QByteArray &pem)
{
    CertificateFacts facts;
    const QSslCertificate certificate(pem, QSsl::Pem);
    if (certificate.isNull())
        return facts;
    facts.valid = true;
    facts.subject = distinguishedName(certificate, false);
    facts.issuer = distinguishedName(certificate, true);
    facts.notBefore = certificate.effectiveDate();
    facts.notAfter = certificate.expiryDate();
    facts.fingerprint =
        QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    // The pin is the SHA-256 of the key's SubjectPublicKeyInfo, as libcurl wants it.
    const QByteArray key = certificate.publicKey().toDer();
    facts.pin = "sha256//" + QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64();
    return facts;
}
