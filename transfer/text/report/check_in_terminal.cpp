#include "text/report/check_in_terminal.h"

#include "text/certificate_problems.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

const QLatin1String HostKeyPrefix("SHA256:");

// Hex digits only, upper case: "dd:d8:..." and "DDD8..." read alike.
QString certificateDigits(QString fingerprint)
{
    fingerprint = fingerprint.trimmed();
    if (fingerprint.startsWith(HostKeyPrefix, Qt::CaseInsensitive))
        fingerprint.remove(0, HostKeyPrefix.size());
    return fingerprint.remove(QLatin1Char(':')).toUpper();
}

// "host:port" as a connect option takes it, an IPv6 address in brackets.
QString hostAndPort(const TrustQuestion &question)
{
    const QString host = question.host.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + question.host + QLatin1Char(']')
                             : question.host;
    return QStringLiteral("%1:%2").arg(host).arg(question.port);
}

} // namespace

QString terminalCheckFolder(const QString &urlPath, bool sftp)
{
    if (!sftp)
        return urlPath.mid(1);
    if (urlPath == QLatin1String("/") || urlPath == QLatin1String("/~"))
        return {};
    return urlPath.startsWith(QLatin1String("/~/")) ? urlPath.mid(3) : urlPath;
}

bool trustedByFingerprint(const TrustQuestion &question, const QString &given)
{
    const QString trimmed = given.trimmed();
    if (trimmed.isEmpty() || question.fingerprint.isEmpty())
        return false;
    switch (question.kind) {
    case TrustQuestion::Kind::ClearText:
        return false;
    case TrustQuestion::Kind::HostKey: {
        QString key = trimmed;
        if (key.startsWith(HostKeyPrefix, Qt::CaseInsensitive))
            key.remove(0, HostKeyPrefix.size());
        return question.fingerprint == HostKeyPrefix + key;
    }
    case TrustQuestion::Kind::Certificate:
        break;
    }
    const QString digits = certificateDigits(trimmed);
    static const QRegularExpression hex(QStringLiteral("^[0-9A-F]+$"));
    return hex.match(digits).hasMatch() && digits == certificateDigits(question.fingerprint);
}

QStringList untrustedInTerminal(const TrustQuestion &question, const QString &given,
                                bool implicitTls)
{
    if (question.kind == TrustQuestion::Kind::ClearText)
        return {};
    const bool hostKey = question.kind == TrustQuestion::Kind::HostKey;
    const QString server = QStringLiteral("%1 port %2").arg(question.host).arg(question.port);
    const QStringList problems = certificateProblems(question);
    QStringList lines;
    if (!given.trimmed().isEmpty())
        lines << QStringLiteral("the %1's fingerprint is %2, not the one given with --trust")
                     .arg(hostKey ? QStringLiteral("host key") : QStringLiteral("certificate"),
                          question.fingerprint);
    else if (hostKey)
        lines << QStringLiteral("the host key of %1 is not in ~/.ssh/known_hosts").arg(server);
    else
        lines << QStringLiteral("the certificate of %1 is not trusted: %2")
                     .arg(server, problems.isEmpty() ? QStringLiteral("no reason given")
                                                     : problems.join(QStringLiteral("; ")));
    lines << QStringLiteral("  server:      %1").arg(server);
    if (hostKey)
        lines << QStringLiteral("  key type:    %1").arg(question.keyType);
    else
        lines << QStringLiteral("  subject:     %1").arg(question.subject);
    lines << QStringLiteral("  fingerprint: %1").arg(question.fingerprint)
          << QStringLiteral("Once you know it is the server's own, run again with")
          << QStringLiteral("  --trust %1").arg(question.fingerprint)
          << QStringLiteral("Compare it first with what the server's administrator gives, or see "
                            "what the server shows with");
    if (hostKey)
        lines << QStringLiteral("  ssh-keyscan -p %1 %2 | ssh-keygen -lf -")
                     .arg(question.port)
                     .arg(question.host);
    else
        lines << QStringLiteral("  openssl s_client -connect %1%2 </dev/null | "
                                "openssl x509 -noout -fingerprint -sha256")
                     .arg(hostAndPort(question),
                          implicitTls ? QString() : QStringLiteral(" -starttls ftp"));
    return lines;
}

QString trustedByOptionWording(QString detail)
{
    // How the check's rows say that the operator trusted a certificate or a
    // host key, in the window's words.
    static const QLatin1String byAnswer[] = {
        QLatin1String("trusted by you for this session"),
        QLatin1String("trusted by the operator's answer this session"),
        QLatin1String("trusted by your answer"),
    };
    for (const QLatin1String &words : byAnswer)
        detail.replace(words, QLatin1String("trusted by --trust"));
    return detail;
}

QList<SiteCheckStep> untrustedSteps(const QList<SiteCheckStep> &reported,
                                    const TrustQuestion &question, const QString &given,
                                    const QString &refusal)
{
    using Kind = TrustQuestion::Kind;
    const SiteCheckStepId asked = question.kind == Kind::HostKey     ? SiteCheckStepId::HostKey
                                  : question.kind == Kind::ClearText ? SiteCheckStepId::Encryption
                                                                     : SiteCheckStepId::Certificate;
    SiteCheckStep failed;
    failed.id = asked;
    if (question.kind == Kind::ClearText) {
        failed.outcome = SiteCheckOutcome::fail(
            refusal, QStringLiteral("The server offers no TLS: the check logs in in clear text "
                                    "only to a server on this machine."));
    } else {
        failed.outcome = SiteCheckOutcome::fail(
            untrustedInTerminal(question, given).value(0),
            QStringLiteral("Once you know it is the server's own, run again with --trust %1")
                .arg(question.fingerprint));
        failed.measured = {{QStringLiteral("fingerprint"), question.fingerprint}};
    }
    const QString reached = question.kind == Kind::HostKey
                                ? QStringLiteral("went through: the server showed its host key")
                            : question.kind == Kind::ClearText
                                ? QStringLiteral("went through: the server greeted")
                                : QStringLiteral("went through: the server showed its certificate");
    QList<SiteCheckStep> steps;
    bool after = false;
    for (SiteCheckStepId id :
         question.kind == Kind::HostKey ? sftpSiteCheckSteps() : siteCheckSteps()) {
        const auto came = std::find_if(reported.begin(), reported.end(),
                                       [id](const SiteCheckStep &step) { return step.id == id; });
        SiteCheckStep step;
        step.id = id;
        if (id == asked) {
            step = failed;
            after = true;
        } else if (came != reported.end()) {
            step = *came;
        } else if (!after) {
            step.outcome = SiteCheckOutcome::pass(reached);
        } else {
            step.outcome =
                SiteCheckOutcome::skippedAfter(siteCheckStepNumber(asked), SiteCheckResult::Fail);
            step.cause = failed.outcome.detail;
        }
        steps << step;
    }
    return steps;
}

std::optional<int> wholeNumberOption(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    return text.toInt();
}
