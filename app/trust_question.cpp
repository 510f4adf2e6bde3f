#include "trust_question.h"

#include "text/certificate_problems.h"
#include "transfer_component.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TrustQuestion", text);
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
    for (const QString &problem : certificateProblems(question))
        lines << tr("Problem: %1").arg(problem);
    lines << tr("Subject: %1").arg(question.subject) << tr("Issuer: %1").arg(question.issuer)
          << tr("Valid from %1 to %2")
                 .arg(certificateDate(question.notBefore), certificateDate(question.notAfter))
          << tr("SHA-256 fingerprint:") << question.fingerprint << QString()
          << tr("Yes: exactly this certificate is trusted by you for this session, for this "
                "server only, until the window closes; nothing is stored. Another certificate "
                "asks again.");
    return lines.join(QLatin1Char('\n'));
}
