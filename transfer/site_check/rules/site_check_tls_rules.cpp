#include "site_check/rules/site_check_tls_rules.h"

#include <QRegularExpression>

namespace {

constexpr auto pass = &SiteCheckOutcome::pass;
constexpr auto warning = &SiteCheckOutcome::warning;
constexpr auto fail = &SiteCheckOutcome::fail;

} // namespace

SiteCheckOutcome encryptionOutcome(const QString &protocol, const QString &cipher, bool implicitTls)
{
    if (protocol.isEmpty())
        return warning(QStringLiteral("the server offers no TLS"),
                       QStringLiteral("The password and the data travel in clear: anyone on the "
                                      "way can read them."));
    QString detail = cipher.isEmpty() ? protocol : QStringLiteral("%1, %2").arg(protocol, cipher);
    if (implicitTls)
        detail += QStringLiteral(", implicit TLS");
    static const QRegularExpression outdated(QStringLiteral("^(SSL|TLS 1\\.[01]$)"));
    if (outdated.match(protocol).hasMatch())
        return warning(detail, QStringLiteral("%1 is outdated; the server should offer TLS 1.2 "
                                              "or 1.3.")
                                   .arg(protocol));
    return pass(detail);
}

SiteCheckOutcome certificateOutcome(const CertificateCheck &c, const QDateTime &now,
                                    const CertificateLimits &limits)
{
    if (!c.tls)
        return SiteCheckOutcome::skipped(QStringLiteral("no TLS, no certificate"));
    const qint64 days = now.secsTo(c.notAfter) / 86400;
    const QString until = c.notAfter.toUTC().toString(QStringLiteral("yyyy-MM-dd"));
    const QString byAnswer = QStringLiteral(", trusted by you for this session");
    QList<SiteCheckOutcome> parts;
    if (c.notAfter < now) {
        const QString detail = QStringLiteral("expired on %1").arg(until);
        const QString hint = QStringLiteral("The server's certificate must be renewed.");
        parts << (c.trustedByOperator ? warning(detail + byAnswer, hint) : fail(detail, hint));
    } else if (days <= limits.warnDays || days <= limits.critDays) {
        const QString inDays = days == 1 ? QStringLiteral("expires in 1 day")
                                         : QStringLiteral("expires in %1 days").arg(days);
        const QString detail = QStringLiteral("%1 (%2)").arg(inDays, until);
        parts << (days <= limits.critDays
                      ? fail(detail, QStringLiteral("Renew the certificate now: it expires "
                                                    "within %1 days.")
                                         .arg(limits.critDays))
                      : warning(detail, QStringLiteral("Renew the certificate before it "
                                                       "expires.")));
    } else {
        parts << pass(QStringLiteral("expires in %1 days").arg(days));
    }
    if (!c.nameMatches) {
        const QString detail = QStringLiteral("issued for another name");
        const QString hint = QStringLiteral("Use the name the certificate holds, or give the "
                                            "server a certificate for this name.");
        parts << (c.trustedByOperator ? warning(detail + byAnswer, hint) : fail(detail, hint));
    }
    if (!c.trustedBySystem) {
        const QString why = c.selfSigned ? QStringLiteral("self-signed")
                                         : QStringLiteral("unknown issuer %1").arg(c.issuer);
        const QString hint = QStringLiteral("Clients that check certificates refuse it; one from "
                                            "a public authority avoids the question.");
        parts << (c.trustedByOperator ? warning(why + byAnswer, hint)
                                      : fail(why + QStringLiteral(", not trusted"), hint));
    } else {
        parts.prepend(pass(QStringLiteral("trusted by the system")));
    }
    return combinedOutcome(parts);
}

SiteCheckOutcome dataProtectionOutcome(const DataConnectionProtection &p)
{
    if (!p.tls)
        return SiteCheckOutcome::skipped(QStringLiteral("no TLS on the login"));
    if (!p.protectedData)
        return warning(QStringLiteral("data connections are not encrypted (PROT P refused)"),
                       QStringLiteral("The files travel in clear although the login is "
                                      "encrypted."));
    return pass(p.sessionResumed
                    ? QStringLiteral("encrypted (PROT P), resuming the login's TLS session")
                    : QStringLiteral("encrypted (PROT P), without resuming the login's TLS "
                                     "session"));
}

bool activeModeBrokenUnderTls(const QString &libcurlVersion)
{
    static const QRegularExpression broken(QStringLiteral("^7\\.8[78](\\.|$)"));
    return broken.match(libcurlVersion).hasMatch();
}

SiteCheckOutcome activeModeSkippedOutcome(const QString &libcurlVersion)
{
    return SiteCheckOutcome::skipped(
        QStringLiteral("libcurl %1 cannot accept an active data connection "
                       "under TLS")
            .arg(libcurlVersion));
}
