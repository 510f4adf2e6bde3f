#include "site_check_terminal.h"

#include "curl_transfer.h"
#include "text/report/check_in_terminal.h"
#include "text/protocol_line.h"
#include "text/report/site_check_report.h"
#include "text/visible_controls.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QUrl>

#include <optional>

namespace {

const char UsageText[] =
    "Usage: sarvel [Qt options]\n"
    "         opens the console window\n"
    "       sarvel --check ftp://user@host[:port][/folder] [--json] "
    "[--trust SHA256-FINGERPRINT]\n"
    "       sarvel --check sftp://user@host[:port][/path] [--json] "
    "[--trust SHA256:KEY-FINGERPRINT]\n"
    "         checks the account in the terminal, without a window; the password in\n"
    "         SARVEL_PASSWORD (for SFTP, empty for the SSH agent and keys); exits 0 when\n"
    "         every step passed, 1 with warnings, 2 when one failed or the check could\n"
    "         not run\n"
    "       sarvel --help | --version\n";

// Each line of `text` to `file`, its control characters made visible.
void writeLines(FILE *file, const QStringList &lines)
{
    for (const QString &line : lines) {
        const QByteArray text = withVisibleControls(line).toUtf8() + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), file);
    }
    std::fflush(file);
}

int usage(FILE *err, const QString &why)
{
    writeLines(err, {QStringLiteral("sarvel: ") + why});
    std::fputs(UsageText, err);
    return 2;
}

int exitStatus(SiteCheckResult verdict)
{
    switch (verdict) {
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

} // namespace

QString sarvelVersion()
{
    return QStringLiteral(SARVEL_VERSION);
}

bool wantsUsageOrVersion(const QStringList &arguments)
{
    return arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h")) ||
           arguments.contains(QLatin1String("--version"));
}

int printUsageOrVersion(const QStringList &arguments, FILE *out)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h")))
        std::fputs(UsageText, out);
    else
        std::fprintf(out, "sarvel %s\n", qPrintable(sarvelVersion()));
    std::fflush(out);
    return 0;
}

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
    const bool ftp = scheme == QLatin1String("ftp") || scheme == QLatin1String("ftps");
    if (!url.isValid() || url.host().isEmpty() || (!sftp && !ftp))
        return usage(
            err, QStringLiteral("not an FTP, FTPS or SFTP address: %1").arg(parser.value(check)));
    if (!url.password().isEmpty())
        return usage(err, QStringLiteral("the password goes in SARVEL_PASSWORD, not the URL"));
    if (sftp && url.userName().isEmpty())
        return usage(err, QStringLiteral("an SFTP address names its user: sftp://user@host"));
    const QString folder = terminalCheckFolder(url.path(), sftp);
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
    report.label = url.host();
    report.started = QDateTime::currentDateTimeUtc();
    const QString trusted = parser.value(trust);
    std::optional<TrustQuestion> refused;
    bool trustedByOption = false;
    QEventLoop loop;
    QObject::connect(&transfer, &TransferComponent::siteCheckStarted, &loop,
                     [&report](const QString &target) { report.target = target; });
    QObject::connect(&transfer, &TransferComponent::siteCheckStep, &loop,
                     [&](const SiteCheckStep &step) { report.steps << step; });
    QObject::connect(
        &transfer, &TransferComponent::protocolEvent, &loop,
        [&](const ProtocolEvent &event) { report.protocolLines << protocolLine(event); });
    QObject::connect(&transfer, &TransferComponent::trustQuestion, &loop,
                     [&](const TrustQuestion &question) {
                         const bool yes = trustedByFingerprint(question, trusted);
                         trustedByOption |= yes;
                         if (!yes)
                             refused = question;
                         transfer.answerTrust(yes);
                     });
    QObject::connect(&transfer, &TransferComponent::finished, &loop, &QEventLoop::quit);
    try {
        transfer.Execute(folder.isEmpty() ? QStringLiteral("CHECK")
                                          : QStringLiteral("CHECK \"%1\"").arg(folder));
    } catch (const std::exception &error) {
        return usage(err, QString::fromUtf8(error.what()));
    }
    loop.exec();

    QStringList untrusted = refused ? untrustedInTerminal(*refused, trusted) : QStringList();
    if (!untrusted.isEmpty()) {
        untrusted.first().prepend(QLatin1String("sarvel: "));
        writeLines(err, untrusted);
    }
    if (report.steps.isEmpty()) {
        // Stopped before any step: a certificate, a host key or clear text
        // refused.
        if (untrusted.isEmpty())
            writeLines(err, {QStringLiteral("sarvel: ") + transfer.ResponseInfo()});
        return 2;
    }
    if (trustedByOption)
        for (SiteCheckStep &step : report.steps)
            step.outcome.detail = trustedByOptionWording(step.outcome.detail);
    if (parser.isSet(json)) {
        // JSON writes control characters as escapes of its own.
        const QByteArray text = siteCheckJson(report, libcurlVersion());
        std::fwrite(text.constData(), 1, size_t(text.size()), out);
        std::fflush(out);
    } else {
        QStringList lines = siteCheckTable(report).split(QLatin1Char('\n'));
        lines.removeLast(); // after the last line break
        writeLines(out, lines);
    }
    return exitStatus(siteCheckVerdict(report.steps));
}
