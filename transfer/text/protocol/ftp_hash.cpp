#include "text/protocol/ftp_hash.h"

#include <QRegularExpression>

#include <openssl/evp.h>

#include <algorithm>

namespace {

struct HashAlgorithm
{
    const char *name;    // as HASH names it
    const char *command; // the older command that answers with it
    int hexDigits;
};

// Strongest first: the check uses the first one the server offers.
constexpr HashAlgorithm HashAlgorithms[] = {
    {"SHA-512", nullptr, 128}, {"SHA-256", "XSHA256", 64}, {"SHA-1", "XSHA1", 40},
    {"MD5", "XMD5", 32},       {"CRC32", "XCRC", 8},
};

const HashAlgorithm *algorithmNamed(const QString &name)
{
    const auto found = std::find_if(
        std::begin(HashAlgorithms), std::end(HashAlgorithms), [&name](const HashAlgorithm &a) {
            return name.compare(QLatin1String(a.name), Qt::CaseInsensitive) == 0;
        });
    return found == std::end(HashAlgorithms) ? nullptr : found;
}

// CRC-32 (as XCRC answers it), carried on over `data`: start from
// 0xffffffff and invert the end.
quint32 crc32(quint32 crc, QByteArrayView data)
{
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320U & (0U - (crc & 1U)));
    }
    return crc;
}

const EVP_MD *digestOf(const HashAlgorithm &a)
{
    return a.hexDigits == 128  ? EVP_sha512()
           : a.hexDigits == 64 ? EVP_sha256()
           : a.hexDigits == 40 ? EVP_sha1()
                               : EVP_md5();
}

} // namespace

QStringList offeredFeatures(const QStringList &featReplyLines)
{
    static const QRegularExpression replyCode(QStringLiteral("^\\d{3}([ -]|$)"));
    QStringList features;
    for (const QString &line : featReplyLines) {
        if (replyCode.match(line).hasMatch())
            continue;
        const QStringList words = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        QString name = words.first().toUpper();
        if (name == QLatin1String("REST") && words.size() > 1 &&
            words[1].compare(QLatin1String("STREAM"), Qt::CaseInsensitive) == 0)
            name = QStringLiteral("REST STREAM");
        if (!features.contains(name))
            features << name;
    }
    return features;
}

HashCommand hashCommand(const QStringList &featReplyLines)
{
    const QStringList offered = offeredFeatures(featReplyLines);
    if (offered.contains(QLatin1String("HASH"))) {
        // " HASH SHA-256*;SHA-1;MD5": the algorithms, the one in use starred.
        QStringList algorithms;
        QString current;
        for (const QString &line : featReplyLines) {
            const QStringList words = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (words.size() != 2 || words[0].compare(QLatin1String("HASH"), Qt::CaseInsensitive))
                continue;
            for (QString name : words[1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                if (name.endsWith(QLatin1Char('*')))
                    current = name.chopped(1).toUpper();
                algorithms << name.remove(QLatin1Char('*')).toUpper();
            }
        }
        for (const HashAlgorithm &a : HashAlgorithms)
            if (algorithms.contains(QLatin1String(a.name))) {
                const QString name = QLatin1String(a.name);
                return {name == current ? QString() : QStringLiteral("OPTS HASH ") + name,
                        QStringLiteral("HASH"), name};
            }
    }
    for (const HashAlgorithm &a : HashAlgorithms)
        if (a.command && offered.contains(QLatin1String(a.command)))
            return {QString(), QLatin1String(a.command), QLatin1String(a.name)};
    return {};
}

FileDigest::FileDigest(const QString &algorithm) : m_algorithm(algorithm)
{
    const HashAlgorithm *a = algorithmNamed(algorithm);
    m_valid = a != nullptr;
    m_crc = a && a->hexDigits == 8;
    if (a && !m_crc) {
        m_hash.reset(EVP_MD_CTX_new());
        m_valid = m_hash && EVP_DigestInit_ex(m_hash.get(), digestOf(*a), nullptr) == 1;
    }
}

void FileDigest::add(QByteArrayView data)
{
    if (m_crc)
        m_crcValue = crc32(m_crcValue, data);
    else if (m_valid)
        m_valid = EVP_DigestUpdate(m_hash.get(), data.data(), size_t(data.size())) == 1;
}

QString FileDigest::hex() const
{
    if (!m_valid)
        return {};
    if (m_crc)
        return QStringLiteral("%1").arg(~m_crcValue, 8, 16, QLatin1Char('0'));
    // The context goes on unfinished: a copy of it is finished.
    std::unique_ptr<EVP_MD_CTX, Free> copy(EVP_MD_CTX_new());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!copy || EVP_MD_CTX_copy_ex(copy.get(), m_hash.get()) != 1 ||
        EVP_DigestFinal_ex(copy.get(), digest, &length) != 1)
        return {};
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
}

void FileDigest::Free::operator()(EVP_MD_CTX *context) const
{
    EVP_MD_CTX_free(context);
}

QString localDigest(const QString &algorithm, const QByteArray &data)
{
    FileDigest digest(algorithm);
    digest.add(data);
    return digest.hex();
}

QString localDigest(const QString &algorithm, QIODevice &device)
{
    FileDigest digest(algorithm);
    if (!digest.isValid() || !device.seek(0))
        return {};
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 read = device.read(buffer.data(), buffer.size());
        if (read < 0)
            return {};
        if (read == 0)
            break;
        digest.add(QByteArrayView(buffer.constData(), read));
    }
    return digest.hex();
}

QString replyDigest(const HashCommand &hash, const QString &reply, qint64 size)
{
    const HashAlgorithm *a = algorithmNamed(hash.algorithm);
    if (!a || !(reply.startsWith(QLatin1String("213 ")) || reply.startsWith(QLatin1String("250 "))))
        return {};
    const QStringList words = reply.mid(4).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (hash.command == QLatin1String("HASH")) {
        // "213 SHA-256 0-262143 <hex> name": the range must be the whole file;
        // servers differ on whether its end is the last byte or one past it.
        if (words.size() < 3 || words[0].compare(hash.algorithm, Qt::CaseInsensitive))
            return {};
        const QStringList range = words[1].split(QLatin1Char('-'));
        if (range.size() != 2 || range[0] != QLatin1String("0") ||
            (size >= 0 && range[1].toLongLong() != size - 1 && range[1].toLongLong() != size))
            return {};
    }
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]+$"));
    for (const QString &word : words)
        if (word.size() == a->hexDigits && hex.match(word).hasMatch())
            return word.toLower();
    return {};
}
