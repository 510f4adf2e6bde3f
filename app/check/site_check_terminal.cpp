#include "check/site_check_terminal.h"

#include "check/terminal_check_run.h"
#include "check/terminal_options.h"
#include "curl_transfer.h"
#include "text/report/check_formats.h"
#include "text/report/check_in_terminal.h"
#include "text/transfer_address.h"
#include "text/visible_controls.h"

#include <QThread>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace {

struct CheckOptions
{
    TerminalCheckOrder order;
    CheckFormat format = CheckFormat::Text;
    QString output;
    int repeat = 1;
    int intervalSeconds = 0;
};

// The options of `arguments` into `options`; why they cannot run otherwise.
QString parseOptions(const QStringList &arguments, CheckOptions &options)
{
    TerminalOptions parser("check");
    const QCommandLineOption warn = parser.valued("cert-warn"), crit = parser.valued("cert-crit"),
                             repeat = parser.valued("repeat"), interval = parser.valued("interval");
    if (const QString why = parser.parse(arguments); !why.isEmpty())
        return why;
    options.order.url = parser.url;
    options.order.folder = parser.folder;
    options.order.trust = parser.trust;
    options.order.proxy = parser.proxy;
    options.format = parser.format;
    options.output = parser.output;

    QString why;
    options.order.limits.warnDays = parser.number(warn, 30, 0, why);
    options.order.limits.critDays = parser.number(crit, 7, 0, why);
    options.repeat = parser.number(repeat, 1, 1, why);
    options.intervalSeconds = parser.number(interval, 0, 0, why);
    if (why.isEmpty() && options.order.limits.critDays > options.order.limits.warnDays)
        why = QStringLiteral("--cert-crit (%1 days) may not be more than --cert-warn (%2 days)")
                  .arg(options.order.limits.critDays)
                  .arg(options.order.limits.warnDays);
    return why;
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
        std::fputs(TerminalUsageText, out);
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
    CheckOptions options;
    if (const QString why = parseOptions(arguments, options); !why.isEmpty())
        return terminalUsageError(arguments, out, err, why);

    QList<SiteCheckReport> runs;
    QStringList untrustedSaid;
    for (int i = 0; i < options.repeat; ++i) {
        if (i > 0 && options.intervalSeconds > 0)
            QThread::sleep(options.intervalSeconds);
        TerminalCheckRun run = runTerminalCheck(options.order);
        if (!run.ran)
            return cannotRunInTerminal(arguments, out, err, run.fault);
        // What --trust needs, once however often it was refused.
        if (!run.untrusted.isEmpty() && run.untrusted != untrustedSaid) {
            untrustedSaid = run.untrusted;
            run.untrusted.first().prepend(QLatin1String("sarvel: "));
            writeTerminalLines(err, run.untrusted);
        }
        runs << run.report;
    }

    CheckOutputContext context;
    context.libcurlVersion = libcurlVersion();
    context.limits = options.order.limits;
    const QByteArray text = checkOutput(options.format, runs, context);
    if (const QString failure = writeTerminalReport(options.output, text, out); !failure.isEmpty())
        return cannotRunInTerminal(arguments, out, err, failure);
    SiteCheckResult worst = SiteCheckResult::Pass;
    for (const SiteCheckReport &run : runs)
        worst = std::max(worst, siteCheckVerdict(run.steps));
    return checkExitCode(worst);
}
