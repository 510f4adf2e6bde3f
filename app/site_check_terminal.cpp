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

int usage(FILE *err, const QString &why)
{
    std::fprintf(err,
                 "sarvel: %s\nUsage: sarvel --check ftp://user@host[:port][/folder] [--json] "
                 "[--trust SHA256-FINGERPRINT]\n(the password in SARVEL_PASSWORD)\n",
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
    if (!url.isValid() || url.host().isEmpty() ||
        url.scheme().compare(QLatin1String("ftp"), Qt::CaseInsensitive) != 0)
        return usage(err, QStringLiteral("not an FTP address: %1").arg(parser.value(check)));
    if (!url.password().isEmpty())
        return usage(err, QStringLiteral("the password goes in SARVEL_PASSWORD, not the URL"));
    const QString folder = url.path().mid(1);
    if (folder.contains(QLatin1Char('"')))
        return usage(err, QStringLiteral("the folder may not hold a double quote"));

    CurlTransfer transfer;
    QUrl server;
    server.setScheme(QStringLiteral("ftp"));
    server.setHost(url.host());
    server.setPort(url.port());
    transfer.setURL(server.toString());
    transfer.setUserName(url.userName().isEmpty() ? QStringLiteral("anonymous") : url.userName());
    transfer.setPassword(qEnvironmentVariable("SARVEL_PASSWORD"));

    SiteCheckReport report;
    report.target = siteCheckTarget(url.host(), url.port(21), folder);
    report.label = url.host();
    report.started = QDateTime::currentDateTimeUtc();
    const QString trusted = normalisedFingerprint(parser.value(trust));
    QEventLoop loop;
    QObject::connect(&transfer, &TransferComponent::siteCheckStep, &loop,
                     [&](const SiteCheckStep &step) { report.steps << step; });
    QObject::connect(
        &transfer, &TransferComponent::protocolEvent, &loop,
        [&](const ProtocolEvent &event) { report.protocolLines << siteCheckProtocolLine(event); });
    QObject::connect(
        &transfer, &TransferComponent::trustQuestion, &loop, [&](const TrustQuestion &question) {
            transfer.answerTrust(question.kind == TrustQuestion::Kind::Certificate &&
                                 !trusted.isEmpty() &&
                                 normalisedFingerprint(question.fingerprint) == trusted);
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
        // Stopped before any step: a certificate or clear text refused.
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
