#include "trust_question.h"

#include "transfer_component.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TrustQuestion", text);
}

// Date and time with the zone, the same whatever the locale, so the dates
// read alike in the dialog and in what the operator compares them with.
QString readableDate(const QDateTime &when)
{
    return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t")) : tr("unknown");
}

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

// The check's findings in the operator's words: libcurl's (OpenSSL's) reason
// turned into a sentence, then what the certificate's own dates and names
// show beside it, each said once.
QStringList problemsOf(const TrustQuestion &question)
{
    const QString reason = question.reason;
    const auto says = [&](const char *words) {
        return reason.contains(QLatin1String(words), Qt::CaseInsensitive);
    };
    QStringList problems;
    if (says("self-signed certificate in certificate chain") || says("unable to get") ||
        says("unable to verify"))
        problems << tr("no authority this computer trusts vouches for it");
    else if (says("self-signed") || says("self signed"))
        problems << tr("it is self-signed: no authority vouches for it");
    else if (!says("expired") && !says("not yet valid") && !says("host name") &&
             !reason.isEmpty()) {
        // libcurl's label says nothing to the operator; the reason after it does.
        QString words = reason;
        for (const char *label : {"SSL certificate problem: ", "SSL: "})
            if (words.startsWith(QLatin1String(label)))
                words = words.mid(qsizetype(qstrlen(label)));
        problems << words;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (says("expired") || (question.notAfter.isValid() && question.notAfter < now))
        problems << tr("it expired on %1").arg(readableDate(question.notAfter));
    else if (says("not yet valid") || (question.notBefore.isValid() && question.notBefore > now))
        problems << tr("it is not valid before %1").arg(readableDate(question.notBefore));
    if (says("host name") || !madeOutTo(question))
        problems << tr("it is made out to %1, not to %2")
                        .arg(question.names.isEmpty() ? tr("another name")
                                                      : question.names.join(QStringLiteral(", ")),
                             question.host);
    return problems;
}

} // namespace

QString trustQuestionText(const TrustQuestion &question)
{
    if (question.kind == TrustQuestion::Kind::ClearText)
        return tr("%1 does not offer encryption. Send the account name and password in clear "
                  "text?")
            .arg(question.host);
    if (question.kind == TrustQuestion::Kind::HostKey)
        return tr("Trust this host key for this session?");
    return tr("Trust this certificate for this session?");
}

QString trustQuestionDetails(const TrustQuestion &question)
{
    if (question.kind == TrustQuestion::Kind::ClearText)
        return QString();
    QStringList lines;
    if (question.kind == TrustQuestion::Kind::HostKey) {
        // Nothing of the account has gone to the server yet; the operator
        // compares the fingerprint with what the server's owner says
        // (`ssh-keygen -lf` on the server's public key).
        lines << tr("The SSH server's host key is not known on this computer.") << QString()
              << tr("Server: %1:%2").arg(question.host, QString::number(question.port))
              << tr("Key type: %1").arg(question.keyType)
              << tr("Fingerprint: %1").arg(question.fingerprint) << QString()
              << tr("Yes: this key is trusted by you for this session, for this server only, "
                    "until the window closes; nothing is written to ~/.ssh/known_hosts.");
        return lines.join(QLatin1Char('\n'));
    }
    if (question.changed)
        lines << tr("The certificate of this server has changed since it was trusted.")
              << QString();
    lines << tr("The server's certificate cannot be checked, and nothing of the account has "
                "been sent.")
          << QString() << tr("Server: %1:%2").arg(question.host, QString::number(question.port));
    for (const QString &problem : problemsOf(question))
        lines << tr("Problem: %1").arg(problem);
    lines << tr("Subject: %1").arg(question.subject) << tr("Issuer: %1").arg(question.issuer)
          << tr("Valid from %1 to %2")
                 .arg(readableDate(question.notBefore), readableDate(question.notAfter))
          << tr("SHA-256 fingerprint:") << question.fingerprint << QString()
          << tr("Yes: exactly this certificate is trusted by you for this session, for this "
                "server only, until the window closes; nothing is stored. Another certificate "
                "asks again.");
    return lines.join(QLatin1Char('\n'));
}
