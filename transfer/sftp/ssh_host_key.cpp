#include "sftp/ssh_host_key.h"

#include <QCryptographicHash>
#include <QList>
#include <QMessageAuthenticationCode>
#include <QStringView>

#include <curl/curl.h>

#include <optional>

namespace {

// One line of a known_hosts file that names a key.
struct KnownHostLine
{
    enum class Marker { None, Revoked, CertAuthority };
    Marker marker = Marker::None;
    QByteArray hosts;
    QString type;
    QByteArray blob;
};

// Base64 exactly as ssh-keygen writes it; other spellings of the same bytes
// are taken for unreadable, so a key is only ever matched by its own text.
std::optional<QByteArray> canonicalBase64(const QByteArray &text)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty() || decoded.decoded.toBase64() != text)
        return std::nullopt;
    return decoded.decoded;
}

std::optional<KnownHostLine> parseLine(const QByteArray &text)
{
    const QByteArray line = text.simplified();
    if (line.isEmpty() || line.startsWith('#'))
        return std::nullopt;
    QList<QByteArray> fields = line.split(' ');
    KnownHostLine entry;
    if (fields.first().startsWith('@')) {
        if (fields.first() == "@revoked")
            entry.marker = KnownHostLine::Marker::Revoked;
        else if (fields.first() == "@cert-authority")
            entry.marker = KnownHostLine::Marker::CertAuthority;
        else
            return std::nullopt;
        fields.removeFirst();
    }
    if (fields.size() < 3)
        return std::nullopt;
    const auto blob = canonicalBase64(fields.at(2));
    if (!blob)
        return std::nullopt;
    entry.hosts = fields.at(0);
    entry.type = QString::fromLatin1(fields.at(1));
    entry.blob = *blob;
    return entry;
}

// OpenSSH's host patterns: '*' any run of characters, '?' any one.
bool globMatches(QStringView pattern, QStringView text)
{
    qsizetype p = 0;
    qsizetype t = 0;
    qsizetype starAt = -1;
    qsizetype starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == QLatin1Char('?') || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starAt = p++;
            starText = t;
        } else if (starAt >= 0) {
            p = starAt + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

// "|1|salt|hash": the name's HMAC-SHA1 keyed by the salt, both in base64.
bool hashedNameMatches(const QByteArray &field, const QString &name)
{
    const QList<QByteArray> parts = field.split('|');
    if (parts.size() != 4 || !parts.at(0).isEmpty() || parts.at(1) != "1")
        return false;
    const auto salt = canonicalBase64(parts.at(2));
    const auto hash = canonicalBase64(parts.at(3));
    return salt && hash &&
           QMessageAuthenticationCode::hash(name.toUtf8(), *salt, QCryptographicHash::Sha1) ==
               *hash;
}

// A negated pattern that matches rules the line out, whatever else matches.
bool hostMatches(const QByteArray &patterns, const QString &name)
{
    if (patterns.startsWith('|'))
        return hashedNameMatches(patterns, name);
    bool matched = false;
    for (const QByteArray &pattern : patterns.split(',')) {
        const bool negated = pattern.startsWith('!');
        const QString glob = QString::fromUtf8(negated ? pattern.mid(1) : pattern).toLower();
        if (!glob.isEmpty() && globMatches(glob, name)) {
            if (negated)
                return false;
            matched = true;
        }
    }
    return matched;
}

QString kindOf(const QString &type)
{
    static const QString ecdsa = QStringLiteral("ecdsa-sha2");
    return type.startsWith(ecdsa) ? ecdsa : type;
}

} // namespace

QString sshFingerprint(const QByteArray &blob)
{
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(QCryptographicHash::hash(blob, QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::OmitTrailingEquals));
}

QString sshBlobKeyType(const QByteArray &blob)
{
    if (blob.size() < 4)
        return {};
    const auto byte = [&](int i) { return quint32(quint8(blob.at(i))); };
    const quint32 length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
    // Key type names are short (the longest OpenSSH knows has 40 characters).
    if (length == 0 || length > 64 || length > quint32(blob.size() - 4))
        return {};
    const QByteArray name = blob.mid(4, qsizetype(length));
    for (const char c : name)
        if (c <= ' ' || c > '~')
            return {};
    return QString::fromLatin1(name);
}

QString curlKeyTypeName(int curlKeyType)
{
    switch (curlKeyType) {
    case CURLKHTYPE_RSA1:
        return QStringLiteral("rsa1");
    case CURLKHTYPE_RSA:
        return QStringLiteral("ssh-rsa");
    case CURLKHTYPE_DSS:
        return QStringLiteral("ssh-dss");
    case CURLKHTYPE_ECDSA:
        return QStringLiteral("ecdsa-sha2");
    case CURLKHTYPE_ED25519:
        return QStringLiteral("ssh-ed25519");
    default:
        return {};
    }
}

QString sshKeyType(int curlKeyType, const QByteArray &blob)
{
    const QString named = sshBlobKeyType(blob);
    return named.isEmpty() ? curlKeyTypeName(curlKeyType) : named;
}

bool sameKeyKind(const QString &type, const QString &other)
{
    return !type.isEmpty() && kindOf(type) == kindOf(other);
}

QString knownHostName(const QString &host, int port)
{
    const QString name = host.toLower();
    return port == 22 ? name : QStringLiteral("[%1]:%2").arg(name).arg(port);
}

KnownHostState knownHostState(const QByteArray &knownHosts, const QString &host, int port,
                              const QString &keyType, const QByteArray &blob)
{
    const QString type = keyType.isEmpty() ? sshBlobKeyType(blob) : keyType;
    const QString name = knownHostName(host, port);
    bool known = false;
    bool changed = false;
    for (const QByteArray &text : knownHosts.split('\n')) {
        const auto line = parseLine(text);
        if (!line || line->marker == KnownHostLine::Marker::CertAuthority ||
            !hostMatches(line->hosts, name))
            continue;
        if (line->marker == KnownHostLine::Marker::Revoked) {
            if (line->blob == blob)
                return KnownHostState::Changed;
            continue;
        }
        if (!sameKeyKind(line->type, type))
            continue;
        if (line->blob == blob)
            known = true;
        else
            changed = true;
    }
    if (known)
        return KnownHostState::Known;
    return changed ? KnownHostState::Changed : KnownHostState::Unknown;
}

HostKeyVerdict hostKeyVerdict(const QByteArray &pin, const QByteArray &knownHosts,
                              const QString &host, int port, int curlKeyType,
                              const QByteArray &blob)
{
    HostKeyVerdict verdict;
    verdict.keyType = sshKeyType(curlKeyType, blob);
    verdict.fingerprint = sshFingerprint(blob);
    if (!pin.isEmpty()) {
        verdict.pinned = true;
        verdict.action = verdict.fingerprint == QStringLiteral("SHA256:") + QString::fromLatin1(pin)
                             ? HostKeyVerdict::Action::Accept
                             : HostKeyVerdict::Action::Refuse;
        return verdict;
    }
    switch (knownHostState(knownHosts, host, port, verdict.keyType, blob)) {
    case KnownHostState::Known:
        verdict.knownHosts = true;
        verdict.action = HostKeyVerdict::Action::Accept;
        break;
    case KnownHostState::Changed:
        verdict.knownHosts = true;
        verdict.action = HostKeyVerdict::Action::Refuse;
        break;
    case KnownHostState::Unknown:
        verdict.action = HostKeyVerdict::Action::Ask;
        break;
    }
    return verdict;
}
