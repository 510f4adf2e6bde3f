#include "site_check_terminal.h"

#include "curl_transfer.h"
#include "site_check_presenter.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QUrl>

namespace {

QString normalisedFingerprint(QString fingerprint)
{
    return fingerprint.remove(QLatin1Char(':')).toUpper();
}

// A certificate's fingerprint is hex, with or without colons; a host key's
// is base64, where letter case counts, with or without "SHA256:".
bool trustedByOperator(const TrustQuestion &question, const QString &given)
{
    if (given.isEmpty() || question.kind == TrustQuestion::Kind::ClearText)
        return false;
    if (question.kind == TrustQuestion::Kind::HostKey) {
        const QLatin1String prefix("SHA256:");
        return question.fingerprint == given || question.fingerprint == prefix + given;
    }
    return normalisedFingerprint(question.fingerprint) == normalisedFingerprint(given);
}

// The folder to check, from the URL's path: on FTP relative to the login's
// folder; on SFTP absolute, as for the curl tool, with "/~/" for the login's
// folder.
QString folderFrom(const QUrl &url, bool sftp)
{
    const QString path = url.path();
    if (!sftp)
        return path.mid(1);
    if (path == QLatin1String("/") || path == QLatin1String("/~"))
        return {};
    return path.startsWith(QLatin1String("/~/")) ? path.mid(3) : path;
}

int usage(FILE *err, const QString &why)
{
    std::fprintf(err,
                 "sarvel: %s\nUsage: sarvel --check ftp://user@host[:port][/folder] [--json] "
                 "[--trust SHA256-FINGERPRINT]\n"
                 "       sarvel --check sftp://user@host[:port][/path] [--json] "
                 "[--trust SHA256:KEY-FINGERPRINT]\n"
                 "(the password in SARVEL_PASSWORD; for SFTP, empty for the SSH agent and "
                 "keys)\n",
                 qPrintable(why));
    return 2;
}

} // namespace

bool wantsSiteCheckInTerminal(const QStringList &arguments)
{
    return arguments.contains(QLatin1String("--check"));
}

int runSiteCheckInTerminal(const QStringList &arguments, FILE *out, FILE *err)
{
    QCommandLineParser parser;
    const QCommandLineOption check(QStringLiteral("check"), QString(), QStringLiteral("url"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption trust(QStringLiteral("trust"), QString(),
                                   QStringLiteral("fingerprint"));
    parser.addOptions({check, json, trust});
    if (!parser.parse(arguments))
        return usage(err, parser.errorText());
    const QUrl url(parser.value(check), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const bool sftp = scheme == QLatin1String("sftp");
    if (!url.isValid() || url.host().isEmpty() || (!sftp && scheme != QLatin1String("ftp")))
        return usage(err,
                     QStringLiteral("not an FTP or SFTP address: %1").arg(parser.value(check)));
    if (!url.password().isEmpty())
        return usage(err, QStringLiteral("the password goes in SARVEL_PASSWORD, not the URL"));
    if (sftp && url.userName().isEmpty())
        return usage(err, QStringLiteral("an SFTP address names its user: sftp://user@host"));
    const QString folder = folderFrom(url, sftp);
    if (folder.contains(QLatin1Char('"')))
        return usage(err, QStringLiteral("the folder may not hold a double quote"));

    CurlTransfer transfer;
    QUrl server;
    server.setScheme(scheme);
    server.setHost(url.host());
    server.setPort(url.port());
    transfer.setURL(server.toString());
    transfer.setUserName(url.userName().isEmpty() ? QStringLiteral("anonymous") : url.userName());
    transfer.setPassword(qEnvironmentVariable("SARVEL_PASSWORD"));

    SiteCheckReport report;
    report.target = siteCheckTarget(url.host(), url.port(sftp ? 22 : 21), folder, scheme);
    report.label = url.host();
    report.started = QDateTime::currentDateTimeUtc();
    const QString trusted = parser.value(trust);
    QEventLoop loop;
    QObject::connect(&transfer, &TransferComponent::siteCheckStep, &loop,
                     [&](const SiteCheckStep &step) { report.steps << step; });
    QObject::connect(
        &transfer, &TransferComponent::protocolEvent, &loop,
        [&](const ProtocolEvent &event) { report.protocolLines << siteCheckProtocolLine(event); });
    QObject::connect(
        &transfer, &TransferComponent::trustQuestion, &loop, [&](const TrustQuestion &question) {
            transfer.answerTrust(trustedByOperator(question, trusted));
        });
    QObject::connect(&transfer, &TransferComponent::finished, &loop, &QEventLoop::quit);
    try {
        transfer.Execute(folder.isEmpty() ? QStringLiteral("CHECK")
                                          : QStringLiteral("CHECK \"%1\"").arg(folder));
    } catch (const std::exception &error) {
        return usage(err, QString::fromUtf8(error.what()));
    }
    loop.exec();

    if (report.steps.isEmpty()) {
        // Stopped before any step: a certificate, a host key or clear text
        // refused.
        std::fprintf(err, "sarvel: %s\n", qPrintable(transfer.ResponseInfo()));
        return 2;
    }
    const QByteArray text = parser.isSet(json) ? siteCheckJson(report, libcurlVersion())
                                               : siteCheckTable(report).toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), out);
    std::fflush(out);
    switch (siteCheckVerdict(report.steps)) {
    case SiteCheckResult::Pass:
    case SiteCheckResult::Skipped:
        return 0;
    case SiteCheckResult::Warning:
        return 1;
    case SiteCheckResult::Fail:
        break;
    }
    return 2;
}
