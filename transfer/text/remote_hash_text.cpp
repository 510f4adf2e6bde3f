#include "text/remote_hash_text.h"

#include "text/operator_log.h"

#include <QRegularExpression>

namespace {

struct Known
{
    const char *name;
    QCryptographicHash::Algorithm algorithm;
    const char *command; // the older command of its own
};

// In the order of preference.
const Known KnownHashes[] = {
    {"SHA-256", QCryptographicHash::Sha256, "XSHA256"},
    {"SHA-512", QCryptographicHash::Sha512, "XSHA512"},
    {"SHA-1", QCryptographicHash::Sha1, "XSHA1"},
    {"MD5", QCryptographicHash::Md5, "XMD5"},
};

} // namespace

FtpHashOffer ftpHashOffer(const QString &featReply)
{
    FtpHashOffer offer;
    for (const QString &raw : featReply.split(QLatin1Char('\n'))) {
        QString line = raw.trimmed();
        // The first and last lines carry the reply's code.
        if (line.size() > 3 && line.at(3) == QLatin1Char('-') && line.left(3).toInt() > 0)
            continue;
        const QString word = line.section(QLatin1Char(' '), 0, 0).toUpper();
        if (word == QLatin1String("HASH")) {
            for (QString name :
                 line.section(QLatin1Char(' '), 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                name = name.trimmed();
                if (name.endsWith(QLatin1Char('*')))
                    name.chop(1);
                offer.algorithms << name.toUpper();
            }
        } else if (word.size() > 1 && word.startsWith(QLatin1Char('X')) &&
                   (word.startsWith(QLatin1String("XSHA")) || word == QLatin1String("XMD5") ||
                    word == QLatin1String("XCRC"))) {
            offer.commands << word;
        }
    }
    return offer;
}

std::optional<FtpHashRequest> ftpHashRequest(const FtpHashOffer &offer, const QString &name)
{
    for (const Known &known : KnownHashes) {
        if (offer.algorithms.contains(QLatin1String(known.name)))
            return FtpHashRequest{{QStringLiteral("OPTS HASH %1").arg(QLatin1String(known.name)),
                                   QStringLiteral("HASH %1").arg(name)},
                                  QLatin1String(known.name),
                                  true};
    }
    for (const Known &known : KnownHashes) {
        if (offer.commands.contains(QLatin1String(known.command)))
            return FtpHashRequest{{QStringLiteral("%1 %2").arg(QLatin1String(known.command), name)},
                                  QLatin1String(known.name),
                                  false};
    }
    return std::nullopt;
}

std::optional<QByteArray> hashInReply(int code, const QString &reply, bool hashCommand)
{
    if (code != 213 && code != 250)
        return std::nullopt;
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{8,128}$"));
    const QStringList words = reply.mid(4).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // HASH: the algorithm, the range, then the hash.
    const int at = hashCommand ? 2 : 0;
    for (int i = at; i < words.size(); ++i) {
        if (hex.match(words.at(i)).hasMatch())
            return words.at(i).toLatin1().toLower();
        if (hashCommand)
            break;
    }
    return std::nullopt;
}

std::optional<QCryptographicHash::Algorithm> hashAlgorithm(const QString &name)
{
    for (const Known &known : KnownHashes)
        if (name.compare(QLatin1String(known.name), Qt::CaseInsensitive) == 0)
            return known.algorithm;
    return std::nullopt;
}

QString remoteHashText(const QString &algorithm, const QByteArray &hex, qint64 readBack)
{
    if (readBack < 0)
        return QStringLiteral("%1 %2, computed by the server")
            .arg(algorithm, QString::fromLatin1(hex));
    return QStringLiteral("%1 %2, computed here from a read-back of %3 bytes")
        .arg(algorithm, QString::fromLatin1(hex), groupedNumber(readBack));
}

QString hashMatchText(const QString &remote, const QString &local, bool match,
                      const QByteArray &localHex)
{
    if (match)
        return QStringLiteral("%1; %2 matches it").arg(remote, local);
    return QStringLiteral("%1; %2 differs: %3").arg(remote, local, QString::fromLatin1(localHex));
}
