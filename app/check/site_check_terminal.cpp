#include "check/site_check_terminal.h"

#include "check/terminal_check_run.h"
#include "curl_transfer.h"
#include "text/report/check_formats.h"
#include "text/report/check_in_terminal.h"
#include "text/transfer_address.h"
#include "text/visible_controls.h"

#include <QCommandLineParser>
#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace {

const char UsageText[] =
    "Usage: sarvel [Qt options]\n"
    "         opens the console window\n"
    "       sarvel --check ftp[s]://user@host[:port][/folder] [options]\n"
    "       sarvel --check sftp://user@host[:port][/path] [options]\n"
    "         checks the account in the terminal, without a window; the password in\n"
    "         SARVEL_PASSWORD (for SFTP, empty for the SSH agent and keys)\n"
    "         --format text|json|nagios|prometheus|junit   the report's form (text)\n"
    "         --json                  the same as --format json\n"
    "         --output FILE           the report to FILE, replaced whole\n"
    "         --trust FINGERPRINT     trusts the certificate (SHA-256) or host key\n"
    "                                 (SHA256:KEY-FINGERPRINT) with this fingerprint\n"
    "         --cert-warn DAYS        warns of a certificate ending within DAYS (30)\n"
    "         --cert-crit DAYS        fails a certificate ending within DAYS (7)\n"
    "         --repeat N              runs the check N times, each on a fresh login\n"
    "         --interval SECONDS      waits SECONDS between the runs (0)\n"
    "         --proxy URL             connects through the proxy socks5://, socks5h://\n"
    "                                 or http:// (CONNECT) [user:password@]host[:port];\n"
    "                                 without it, all_proxy or ftp_proxy, said in the log\n"
    "         exits 0 when every step passed, 1 with warnings, 2 when a step failed,\n"
    "         3 when the check could not run\n"
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

// Why the check could not run to `err` (unless null), and for a Nagios plugin, which
// reads only standard output, as its UNKNOWN line to `out` too.
int cannotRun(const QStringList &arguments, FILE *out, FILE *err, const QString &why)
{
    if (err)
        writeLines(err, {QStringLiteral("sarvel: ") + why});
    const qsizetype format = arguments.indexOf(QLatin1String("--format"));
    if ((format >= 0 && arguments.value(format + 1) == QLatin1String("nagios")) ||
        arguments.contains(QLatin1String("--format=nagios"))) {
        const QByteArray line = nagiosUnknown(QStringLiteral("sarvel: ") + why);
        std::fwrite(line.constData(), 1, size_t(line.size()), out);
        std::fflush(out);
    }
    return CheckUnknown;
}

int usage(FILE *err, const QString &why)
{
    writeLines(err, {QStringLiteral("sarvel: ") + why});
    std::fputs(UsageText, err);
    std::fflush(err);
    return CheckUnknown;
}

struct TerminalOptions
{
    TerminalCheckOrder order;
    CheckFormat format = CheckFormat::Text;
    QString output;
    int repeat = 1;
    int intervalSeconds = 0;
};

// The options of `arguments` into `options`; why they cannot run otherwise.
QString parseOptions(const QStringList &arguments, TerminalOptions &options)
{
    QCommandLineParser parser;
    const QCommandLineOption check(QStringLiteral("check"), QString(), QStringLiteral("url"));
    const QCommandLineOption json(QStringLiteral("json"));
    const auto valued = [](const char *name) {
        return QCommandLineOption(QLatin1String(name), QString(), QStringLiteral("value"));
    };
    const QCommandLineOption trust = valued("trust"), format = valued("format"),
                             output = valued("output"), warn = valued("cert-warn"),
                             crit = valued("cert-crit"), repeat = valued("repeat"),
                             interval = valued("interval"), proxy = valued("proxy");
    parser.addOptions({check, json, trust, format, output, warn, crit, repeat, interval, proxy});
    if (!parser.parse(arguments))
        return parser.errorText();
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
    const QUrl url(parser.value(check), QUrl::StrictMode);
    const std::optional<TransferAddress> address = transferAddress(parser.value(check));
    if (!url.isValid() || !address)
        return QStringLiteral("not an FTP, FTPS or SFTP address: %1").arg(parser.value(check));
    const bool sftp = address->ssh;
    if (!url.password().isEmpty())
        return QStringLiteral("the password goes in SARVEL_PASSWORD, not the URL");
    if (sftp && url.userName().isEmpty())
        return QStringLiteral("an SFTP address names its user: sftp://user@host");
    options.order.url = url;
    options.order.folder = terminalCheckFolder(url.path(), sftp);
    if (options.order.folder.contains(QLatin1Char('"')))
        return QStringLiteral("the folder may not hold a double quote");
    options.order.trust = parser.value(trust);
    if (parser.isSet(proxy)) {
        try {
            options.order.proxy = parseProxyAddress(parser.value(proxy));
        } catch (const std::invalid_argument &error) {
            return QString::fromUtf8(error.what());
        }
    }

    const QString formatName = parser.isSet(format) ? parser.value(format)
                               : parser.isSet(json) ? QStringLiteral("json")
                                                    : QStringLiteral("text");
    const std::optional<CheckFormat> named = checkFormatNamed(formatName);
    if (!named || (parser.isSet(json) && *named != CheckFormat::Json))
        return QStringLiteral("unknown format \"%1\": --format takes %2")
            .arg(formatName, checkFormatNames());
    options.format = *named;
    options.output = parser.value(output);
    if (parser.isSet(output) && options.output.isEmpty())
        return QStringLiteral("--output needs a file name");

    // Each number option: its value, or why not.
    const auto numberOf = [&parser](const QCommandLineOption &option, int fallback, int least,
                                    QString &why) {
        if (!parser.isSet(option))
            return fallback;
        const std::optional<int> value = wholeNumberOption(parser.value(option));
        if (!value || *value < least)
            why = QStringLiteral("--%1 takes a whole number of at least %2, not \"%3\"")
                      .arg(option.names().first())
                      .arg(least)
                      .arg(parser.value(option));
        return value.value_or(fallback);
    };
    QString why;
    options.order.limits.warnDays = numberOf(warn, 30, 0, why);
    options.order.limits.critDays = numberOf(crit, 7, 0, why);
    options.repeat = numberOf(repeat, 1, 1, why);
    options.intervalSeconds = numberOf(interval, 0, 0, why);
    if (why.isEmpty() && options.order.limits.critDays > options.order.limits.warnDays)
        why = QStringLiteral("--cert-crit (%1 days) may not be more than --cert-warn (%2 days)")
                  .arg(options.order.limits.critDays)
                  .arg(options.order.limits.warnDays);
    return why;
}

// `text` to `path`, replaced whole: written beside it, then renamed over it.
QString saveWhole(const QString &path, const QByteArray &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return {};
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
    TerminalOptions options;
    if (const QString why = parseOptions(arguments, options); !why.isEmpty()) {
        usage(err, why);
        return cannotRun(arguments, out, nullptr, why);
    }

    QList<SiteCheckReport> runs;
    QStringList untrustedSaid;
    for (int i = 0; i < options.repeat; ++i) {
        if (i > 0 && options.intervalSeconds > 0)
            QThread::sleep(options.intervalSeconds);
        TerminalCheckRun run = runTerminalCheck(options.order);
        if (!run.ran)
            return cannotRun(arguments, out, err, run.fault);
        // What --trust needs, once however often it was refused.
        if (!run.untrusted.isEmpty() && run.untrusted != untrustedSaid) {
            untrustedSaid = run.untrusted;
            run.untrusted.first().prepend(QLatin1String("sarvel: "));
            writeLines(err, run.untrusted);
        }
        runs << run.report;
    }

    CheckOutputContext context;
    context.libcurlVersion = libcurlVersion();
    context.limits = options.order.limits;
    const QByteArray text = checkOutput(options.format, runs, context);
    if (!options.output.isEmpty()) {
        if (const QString failure = saveWhole(options.output, text); !failure.isEmpty())
            return cannotRun(arguments, out, err, failure);
    } else {
        std::fwrite(text.constData(), 1, size_t(text.size()), out);
        std::fflush(out);
    }
    SiteCheckResult worst = SiteCheckResult::Pass;
    for (const SiteCheckReport &run : runs)
        worst = std::max(worst, siteCheckVerdict(run.steps));
    return checkExitCode(worst);
}
