#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <memory>

// File hashes an FTP server computes itself: what its FEAT reply offers,
// the commands that ask for one, and the digest in the reply; and the same
// digests computed here, to compare.

// The feature names of a FEAT reply, upper case, one per line it lists
// ("UTF8", "MLSD", "REST STREAM", "HASH"); the parameters after a name are
// dropped, except that REST keeps STREAM.
QStringList offeredFeatures(const QStringList &featReplyLines);

// A server-side hash: the commands to send for it and the algorithm of the
// digest it answers with. Empty command when FEAT lists none.
struct HashCommand
{
    QString select;    // "OPTS HASH SHA-256" when HASH must be switched first, else empty
    QString command;   // "HASH", "XSHA256", "XSHA1", "XMD5" or "XCRC"
    QString algorithm; // "SHA-512", "SHA-256", "SHA-1", "MD5" or "CRC32"
};
HashCommand hashCommand(const QStringList &featReplyLines);
struct evp_md_ctx_st;

// A digest carried on piece by piece, as data goes by: an upload's bytes as
// they go out, a read-back's as they arrive. OpenSSL's libcrypto computes
// it: several times as fast as Qt's own SHA-2, it keeps a hash of a fast
// transfer from slowing it.
class FileDigest
{
public:
    // Invalid for an unknown algorithm.
    explicit FileDigest(const QString &algorithm);
    bool isValid() const { return m_valid; }
    const QString &algorithm() const { return m_algorithm; }
    void add(QByteArrayView data);
    // The digest, lower-case hex, of all added so far; empty when invalid.
    QString hex() const;

private:
    QString m_algorithm;
    bool m_valid = false;
    bool m_crc = false;
    quint32 m_crcValue = 0xffffffffU;
    struct Free
    {
        void operator()(evp_md_ctx_st *context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> m_hash; // none for CRC32
};

// The digest, lower-case hex, of `data` by `algorithm`; empty for an
// unknown algorithm.
QString localDigest(const QString &algorithm, const QByteArray &data);
// The same, of all that `device` holds from its start; empty also on a read
// error.
QString localDigest(const QString &algorithm, QIODevice &device);
// The digest, lower-case hex, in the server's reply to `hash`; empty when
// the reply holds none of the algorithm's length or, for HASH, covers other
// than the whole `size` bytes (any range from 0 when `size` is negative).
QString replyDigest(const HashCommand &hash, const QString &reply, qint64 size);
