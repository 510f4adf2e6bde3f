#include "site_check/rules/sftp_site_check_rules.h"

#include "site_check/rules/site_check_file_rules.h"
#include "site_check/rules/site_check_rules.h"

#include <cstdlib>

namespace {

// As for FTP's MDTM: a clock further off than this warns.
constexpr qint64 ClockTolerance = 120;

const char *const NotRead =
    "the key exchange did not finish, or libssh2's session could not be read";

// Algorithms that current OpenSSH no longer offers by default, as the start
// of their names.
struct WeakRow
{
    const char *start;
    const char *what;
};
constexpr WeakRow WeakAlgorithms[] = {
    {"diffie-hellman-group1-", "a 1024-bit key exchange"},
    {"diffie-hellman-group14-sha1", "a key exchange hashed with SHA-1"},
    {"diffie-hellman-group-exchange-sha1", "a key exchange hashed with SHA-1"},
    {"3des-", "a 64-bit block cipher"},
    {"blowfish-", "a 64-bit block cipher"},
    {"cast128-", "a 64-bit block cipher"},
    {"arcfour", "the broken RC4 cipher"},
    {"none", "no encryption or no integrity check"},
    {"hmac-md5", "an MD5 integrity check"},
};

const WeakRow *weakness(const QString &algorithm)
{
    for (const WeakRow &row : WeakAlgorithms)
        if (algorithm.startsWith(QLatin1String(row.start)))
            return &row;
    return nullptr;
}

} // namespace

SiteCheckOutcome sshVersionOutcome(const QString &version)
{
    if (version.isEmpty())
        return SiteCheckOutcome::skipped(QLatin1String(NotRead));
    return SiteCheckOutcome::pass(version);
}

SiteCheckOutcome keyExchangeOutcome(const std::optional<SshSessionFacts> &session,
                                    const std::optional<SshOfferReading> &offer)
{
    if (!session && offer)
        return SiteCheckOutcome::pass(
            QStringLiteral("the server offers %1; what was chosen could not be read")
                .arg(sshOfferLines(offer->offer).mid(0, 4).join(QLatin1String("; "))));
    if (!session)
        return SiteCheckOutcome::skipped(QLatin1String(NotRead));
    QString settled = QStringLiteral("%1, cipher %2, MAC %3")
                          .arg(session->keyExchange, session->cipher, session->mac);
    if (offer)
        settled += QStringLiteral(", chosen from the server's %1 key exchanges, %2 ciphers "
                                  "and %3 MACs")
                       .arg(offer->offer.keyExchange.size())
                       .arg(offer->offer.cipher.size())
                       .arg(offer->offer.mac.size());
    for (const QString &algorithm : {session->keyExchange, session->cipher, session->mac}) {
        if (const WeakRow *weak = weakness(algorithm))
            return SiteCheckOutcome::warning(
                settled,
                QStringLiteral("%1 is %2; the server offers nothing stronger that libssh2 "
                               "speaks. Current OpenSSH servers offer curve25519-sha256 and "
                               "aes128-ctr.")
                    .arg(algorithm, QLatin1String(weak->what)));
    }
    return SiteCheckOutcome::pass(settled);
}

QVariantMap keyExchangeMeasures(const std::optional<SshSessionFacts> &session,
                                const std::optional<SshOfferReading> &offer)
{
    QVariantMap measured;
    if (session)
        measured = {{QStringLiteral("keyExchange"), session->keyExchange},
                    {QStringLiteral("cipher"), session->cipher},
                    {QStringLiteral("mac"), session->mac}};
    if (offer)
        measured.insert(QStringLiteral("serverOffer"), sshOfferLines(offer->offer));
    return measured;
}

SiteCheckOutcome hostKeyOutcome(const HostKeyFacts &key)
{
    const QString shown = QStringLiteral("%1 %2").arg(key.keyType, key.fingerprint);
    if (key.refused)
        return SiteCheckOutcome::fail(
            QStringLiteral("%1 is not the key known for this server").arg(shown), key.refusal);
    if (key.knownHosts)
        return SiteCheckOutcome::pass(QStringLiteral("%1, known to ~/.ssh/known_hosts").arg(shown));
    if (key.pinned)
        return SiteCheckOutcome::warning(
            QStringLiteral("%1, trusted by you for this session").arg(shown),
            QStringLiteral("~/.ssh/known_hosts does not know this key. Compare the fingerprint "
                           "with the server's own (ssh-keygen -lf on its host key) before "
                           "adding it."));
    return SiteCheckOutcome::skipped(QStringLiteral("the server showed no host key"));
}

SiteCheckOutcome sftpLoginOutcome(bool loggedIn, const QString &user, const QString &method)
{
    if (loggedIn)
        return SiteCheckOutcome::pass(QStringLiteral("logged in as %1 by %2").arg(user, method));
    return SiteCheckOutcome::fail(
        QStringLiteral("the server refused the login of %1 by %2").arg(user, method),
        QStringLiteral("Check the user name and password, or that the server knows the key; "
                       "the check tries once and does not retry."));
}

SiteCheckOutcome authMethodsOutcome(const QString &offered)
{
    if (offered.isEmpty())
        return SiteCheckOutcome::skipped(QStringLiteral("the server listed no login methods"));
    return SiteCheckOutcome::pass(QStringLiteral("offered: %1").arg(offered));
}

SiteCheckOutcome homeFolderOutcome(const QString &folder)
{
    if (folder.isEmpty())
        return SiteCheckOutcome::fail(
            QStringLiteral("libcurl did not say the folder the login starts in"),
            QStringLiteral("The server's SFTP subsystem did not resolve \".\"."));
    return SiteCheckOutcome::pass(folder);
}

SiteCheckOutcome sftpListingOutcome(const QString &folder, int entries, const QString &failure)
{
    if (!failure.isEmpty())
        return SiteCheckOutcome::fail(
            QStringLiteral("%1 cannot be listed: %2").arg(folder, failure),
            QStringLiteral("The account may not read the folder, or it does not exist."));
    return SiteCheckOutcome::pass(
        QStringLiteral("%1 in %2").arg(entriesText(entries), folder));
}

SiteCheckOutcome sftpDataProtectionOutcome()
{
    return SiteCheckOutcome::pass(
        QStringLiteral("SFTP data travels inside the encrypted SSH connection"));
}

SiteCheckOutcome sftpWriteOutcome(std::optional<int> status, const QString &failure,
                                  const QString &folder, qint64 bytes)
{
    const bool permissionDenied = status == 3;
    return uploadOutcome(failure, permissionDenied, folder, bytes);
}

SiteCheckOutcome sftpSizeOutcome(qint64 sent, qint64 reported)
{
    if (reported < 0)
        return SiteCheckOutcome::skipped(QStringLiteral("the server gives no size"));
    if (reported == sent)
        return SiteCheckOutcome::pass(QStringLiteral("size %1 as sent").arg(reported));
    return SiteCheckOutcome::fail(
        QStringLiteral("the server says %1 bytes, %2 were sent").arg(reported).arg(sent),
        QStringLiteral("The file changed on its way or on the server."));
}

SiteCheckOutcome sftpClockOutcome(const QDateTime &modifiedUtc, const QDateTime &uploadEndedUtc)
{
    if (!modifiedUtc.isValid() || !uploadEndedUtc.isValid())
        return SiteCheckOutcome::skipped(QStringLiteral("the server gives no file time"));
    const qint64 offset = uploadEndedUtc.secsTo(modifiedUtc);
    if (std::abs(offset) <= ClockTolerance)
        return SiteCheckOutcome::pass(
            QStringLiteral("file time within %1 s of this computer's clock").arg(std::abs(offset)));
    return SiteCheckOutcome::warning(
        QStringLiteral("file time %1 s %2 this computer's clock")
            .arg(std::abs(offset))
            .arg(offset > 0 ? QStringLiteral("ahead of") : QStringLiteral("behind")),
        QStringLiteral("The server's clock, or this computer's, is off."));
}

SiteCheckOutcome sftpHashOutcome()
{
    return SiteCheckOutcome::skipped(
        QStringLiteral("SFTP through libcurl has no server-side hash; the read-back compares "
                       "every byte"));
}

SiteCheckOutcome sftpCleanUpOutcome(const QString &failure, const QString &path, bool stillThere)
{
    const QString byHand = QStringLiteral("Delete %1 by hand.").arg(path);
    if (!failure.isEmpty())
        return SiteCheckOutcome::warning(
            QStringLiteral("rm refused (%1): %2 is left behind").arg(failure, path),
            byHand + QStringLiteral(" The account may write but not delete."));
    if (stillThere)
        return SiteCheckOutcome::warning(
            QStringLiteral("rm answered but %1 is still there").arg(path), byHand);
    return SiteCheckOutcome::pass(QStringLiteral("%1 deleted").arg(path));
}
