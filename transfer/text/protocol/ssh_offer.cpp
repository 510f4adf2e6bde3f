#include "text/protocol/ssh_offer.h"

#include "text/protocol/ssh_session_facts.h"

#include <QRegularExpression>
#include <QtEndian>

#include <optional>

namespace {

// Lines a server may send before its version line, and the packet size
// every SSH implementation must accept, with room to spare.
constexpr int MaxLinesBeforeVersion = 64;
constexpr int MaxLineLength = 1024;
constexpr quint32 MaxPacketLength = 256 * 1024;
constexpr char KexInit = 20;
constexpr int CookieLength = 16;

SshOfferReading malformed(const QString &problem)
{
    SshOfferReading reading;
    reading.status = SshOfferReading::Status::Malformed;
    reading.problem = problem;
    return reading;
}

quint32 bigEndian32(QByteArrayView bytes, qsizetype at)
{
    return qFromBigEndian<quint32>(bytes.data() + at);
}

// The name-lists of a key-exchange offer's payload, read in turn.
class NameLists
{
public:
    explicit NameLists(QByteArrayView payload) : m_payload(payload) {}

    std::optional<QStringList> next()
    {
        if (m_payload.size() - m_at < 4)
            return std::nullopt;
        const quint32 length = bigEndian32(m_payload, m_at);
        m_at += 4;
        if (length > quint32(m_payload.size() - m_at))
            return std::nullopt;
        const QByteArray text = m_payload.sliced(m_at, length).toByteArray();
        m_at += length;
        return printableSshVersion(text.constData()).split(QLatin1Char(','), Qt::SkipEmptyParts);
    }

private:
    QByteArrayView m_payload;
    qsizetype m_at = 1 + CookieLength;
};

SshOfferReading readKexInit(QByteArrayView payload, SshOfferReading reading)
{
    if (payload.isEmpty() || payload[0] != KexInit)
        return malformed(QStringLiteral("the server's first packet is not a key-exchange offer"));
    NameLists lists(payload);
    QStringList *order[] = {&reading.offer.keyExchange, &reading.offer.hostKey,
                            &reading.offer.cipher,      nullptr,
                            &reading.offer.mac,         nullptr,
                            &reading.offer.compression, nullptr};
    for (QStringList *kind : order) {
        std::optional<QStringList> names = lists.next();
        if (!names)
            return malformed(QStringLiteral("the server's key-exchange offer is cut short"));
        if (kind)
            *kind = std::move(*names);
    }
    reading.status = SshOfferReading::Status::Complete;
    return reading;
}

} // namespace

SshOfferReading readSshOffer(QByteArrayView received)
{
    SshOfferReading reading;
    qsizetype at = 0;
    for (int line = 0;; ++line) {
        const qsizetype end = received.indexOf('\n', at);
        if (end < 0)
            return received.size() - at > MaxLineLength
                       ? malformed(QStringLiteral("the server sent no SSH version line"))
                       : reading;
        QByteArrayView text = received.sliced(at, end - at);
        at = end + 1;
        if (text.endsWith('\r'))
            text.chop(1);
        if (text.size() > MaxLineLength)
            return malformed(QStringLiteral("the server sent no SSH version line"));
        if (text.startsWith("SSH-")) {
            reading.version = printableSshVersion(text.toByteArray().constData());
            break;
        }
        if (line == MaxLinesBeforeVersion)
            return malformed(QStringLiteral("the server sent no SSH version line"));
    }
    if (!reading.version.startsWith(QLatin1String("SSH-2.0-")) &&
        !reading.version.startsWith(QLatin1String("SSH-1.99-")))
        return malformed(
            QStringLiteral("the server speaks SSH other than version 2: %1").arg(reading.version));
    const QByteArrayView packet = received.sliced(at);
    if (packet.size() < 5)
        return reading;
    const quint32 length = bigEndian32(packet, 0);
    const quint8 padding = quint8(packet[4]);
    if (length > MaxPacketLength || length < quint32(padding) + 1)
        return malformed(
            QStringLiteral("the server's first packet has a length of %1 bytes").arg(length));
    if (quint32(packet.size() - 4) < length)
        return reading;
    return readKexInit(packet.sliced(5, length - 1 - padding), reading);
}

namespace {

struct Kind
{
    QStringList SshAlgorithms::*list;
    const char *plural; // as the server offers them
    const char *verb;   // what the library does with them
};

const Kind Kinds[] = {
    {&SshAlgorithms::keyExchange, "key exchanges", "supports"},
    {&SshAlgorithms::hostKey, "host keys", "verifies"},
    {&SshAlgorithms::cipher, "ciphers", "supports"},
    {&SshAlgorithms::mac, "MACs", "supports"},
    {&SshAlgorithms::compression, "compression methods", "supports"},
};

// "ecdsa-sha2-nistp256", "ecdsa-sha2-nistp384" side by side read as
// "ecdsa-sha2-nistp256/384".
QStringList grouped(const QStringList &names, bool hostKeys)
{
    static const QRegularExpression numbered(QStringLiteral("^(.*\\D)(\\d+)$"));
    QStringList shown;
    QString stem;
    for (const QString &name : names) {
        // Certificates ride on the key kinds named beside them.
        if (hostKeys && name.contains(QLatin1String("-cert-v01@")))
            continue;
        const QRegularExpressionMatch match = numbered.match(name);
        if (match.hasMatch() && !shown.isEmpty() && match.captured(1) == stem) {
            shown.last() += QLatin1Char('/') + match.captured(2);
            continue;
        }
        stem = match.hasMatch() ? match.captured(1) : QString();
        // ssh-rsa names RSA keys signed with SHA-1, which servers now refuse.
        shown << (hostKeys && name == QLatin1String("ssh-rsa") ? QStringLiteral("ssh-rsa (SHA-1)")
                                                               : name);
    }
    return shown;
}

QString listed(const QStringList &names)
{
    if (names.size() < 2)
        return names.join(QString());
    return names.mid(0, names.size() - 1).join(QLatin1String(", ")) + QLatin1String(" and ") +
           names.last();
}

QString hostKeyAdvice(const QStringList &ours)
{
    QStringList kinds;
    if (ours.contains(QLatin1String("ssh-ed25519")))
        kinds << QStringLiteral("Ed25519");
    if (ours.filter(QLatin1String("ecdsa-sha2-")).size() > 0)
        kinds << QStringLiteral("ECDSA");
    if (kinds.isEmpty())
        return QStringLiteral("nothing in common");
    return QStringLiteral("the server needs an %1 host key").arg(kinds.join(QLatin1String(" or ")));
}

} // namespace

QString sshNothingInCommon(const SshAlgorithms &server, const SshAlgorithms &ours,
                           const QString &library)
{
    for (const Kind &kind : Kinds) {
        const QStringList &offered = server.*kind.list;
        const QStringList &supported = ours.*kind.list;
        bool common = false;
        for (const QString &name : offered)
            common = common || supported.contains(name);
        if (common || supported.isEmpty())
            continue;
        const bool hostKeys = kind.list == &SshAlgorithms::hostKey;
        const QString offeredText =
            offered.isEmpty() ? QStringLiteral("no %1").arg(QLatin1String(kind.plural))
                              : QStringLiteral("%1 %2").arg(QLatin1String(kind.plural),
                                                            offered.join(QLatin1String(", ")));
        return QStringLiteral("The server offers %1; this program's SSH library (%2) %3 %4 "
                              "only: %5")
            .arg(offeredText, library, QLatin1String(kind.verb),
                 listed(grouped(supported, hostKeys)),
                 hostKeys ? hostKeyAdvice(supported)
                          : QStringLiteral("nothing in common with the server's %1")
                                .arg(QLatin1String(kind.plural)));
    }
    return {};
}

QStringList sshOfferLines(const SshAlgorithms &offer)
{
    const char *names[] = {"key exchange", "host key", "cipher", "MAC", "compression"};
    QStringList lines;
    for (size_t i = 0; i < std::size(Kinds); ++i)
        lines << QStringLiteral("%1: %2").arg(QLatin1String(names[i]),
                                              (offer.*Kinds[i].list).join(QLatin1String(", ")));
    return lines;
}
