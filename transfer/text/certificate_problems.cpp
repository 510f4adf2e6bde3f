#include "text/certificate_problems.h"

#include "text/transfer_values.h"

namespace {

// An IPv4 or IPv6 address rather than a name.
bool isAddress(const QString &host)
{
    if (host.contains(QLatin1Char(':')))
        return true;
    for (const QChar c : host)
        if (!c.isDigit() && c != QLatin1Char('.'))
            return false;
    return true;
}

// Whether a certificate made out to `name` covers `host`, as a TLS client
// matches them: letter case aside, a leading "*." stands for exactly one
// label, and an address matches only itself.
bool nameCovers(const QString &name, const QString &host)
{
    if (name.compare(host, Qt::CaseInsensitive) == 0)
        return true;
    if (!name.startsWith(QLatin1String("*.")) || isAddress(host))
        return false;
    const qsizetype dot = host.indexOf(QLatin1Char('.'));
    return dot > 0 && host.mid(dot).compare(name.mid(1), Qt::CaseInsensitive) == 0;
}

bool madeOutTo(const TrustQuestion &question)
{
    for (const QString &name : question.names)
        if (nameCovers(name, question.host))
            return true;
    return question.names.isEmpty(); // nothing to compare: say nothing of names
}

} // namespace

QString certificateDate(const QDateTime &when)
{
    return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t"))
                          : QStringLiteral("unknown");
}

QStringList certificateProblems(const TrustQuestion &question, const QDateTime &nowUtc)
{
    const QString reason = question.reason;
    const auto says = [&](const char *words) {
        return reason.contains(QLatin1String(words), Qt::CaseInsensitive);
    };
    QStringList problems;
    if (says("self-signed certificate in certificate chain") || says("unable to get") ||
        says("unable to verify"))
        problems << QStringLiteral("no authority this computer trusts vouches for it");
    else if (says("self-signed") || says("self signed"))
        problems << QStringLiteral("it is self-signed: no authority vouches for it");
    else if (!says("expired") && !says("not yet valid") && !says("host name") &&
             !reason.isEmpty()) {
        // libcurl's label says nothing to the operator; the reason after it does.
        QString words = reason;
        for (const char *label : {"SSL certificate problem: ", "SSL: "})
            if (words.startsWith(QLatin1String(label)))
                words = words.mid(qsizetype(qstrlen(label)));
        problems << words;
    }
    if (says("expired") || (question.notAfter.isValid() && question.notAfter < nowUtc))
        problems << QStringLiteral("it expired on %1").arg(certificateDate(question.notAfter));
    else if (says("not yet valid") || (question.notBefore.isValid() && question.notBefore > nowUtc))
        problems
            << QStringLiteral("it is not valid before %1").arg(certificateDate(question.notBefore));
    if (says("host name") || !madeOutTo(question))
        problems << QStringLiteral("it is made out to %1, not to %2")
                        .arg(question.names.isEmpty() ? QStringLiteral("another name")
                                                      : question.names.join(QStringLiteral(", ")),
                             question.host);
    return problems;
}
