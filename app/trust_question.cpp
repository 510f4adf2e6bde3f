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
              << tr("Yes trusts exactly this key for this server until the window closes; "
                    "nothing is written to ~/.ssh/known_hosts.");
        return lines.join(QLatin1Char('\n'));
    }
    if (question.changed)
        lines << tr("The certificate of this server has changed since it was trusted.")
              << QString();
    lines << tr("Server: %1:%2").arg(question.host, QString::number(question.port))
          << tr("Problem: %1").arg(question.reason) << tr("Subject: %1").arg(question.subject)
          << tr("Issuer: %1").arg(question.issuer)
          << tr("Valid from %1 to %2")
                 .arg(readableDate(question.notBefore), readableDate(question.notAfter))
          << tr("SHA-256 fingerprint: %1").arg(question.fingerprint);
    return lines.join(QLatin1Char('\n'));
}
