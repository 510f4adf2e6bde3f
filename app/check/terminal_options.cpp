#include "check/terminal_options.h"

#include "curl_transfer.h"
#include "text/report/check_in_terminal.h"
#include "text/transfer_address.h"
#include "text/visible_controls.h"

#include <QEventLoop>
#include <QSaveFile>

const char TerminalUsageText[] =
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
    "       sarvel --soak ftp[s]://user@host[:port][/folder] [options]\n"
    "       sarvel --soak sftp://user@host[:port][/path] [options]\n"
    "         uploads, checks, reads back and deletes files of drawn sizes, round\n"
    "         after round on one login; --format, --output, --trust and --proxy as\n"
    "         above\n"
    "         --rounds N              the rounds to run (10)\n"
    "         --max-size BYTES        the largest file a round sends (4194304)\n"
    "         --seed N                the seed of the sizes and bytes, to repeat a run\n"
    "         exits 0 when every round passed, 2 when one failed, 3 when the soak\n"
    "         could not run\n"
    "       sarvel --help | --version\n";

TerminalOptions::TerminalOptions(const char *addressOption)
    : m_address(QLatin1String(addressOption), QString(), QStringLiteral("url")),
      m_json(QStringLiteral("json")), m_trust(valued("trust")), m_format(valued("format")),
      m_output(valued("output")), m_proxy(valued("proxy"))
{
    m_parser.addOptions({m_address, m_json});
}

QCommandLineOption TerminalOptions::valued(const char *name)
{
    QCommandLineOption option(QLatin1String(name), QString(), QStringLiteral("value"));
    m_parser.addOption(option);
    return option;
}

QString TerminalOptions::parse(const QStringList &arguments)
{
    if (!m_parser.parse(arguments))
        return m_parser.errorText();
    if (!m_parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument: %1")
            .arg(m_parser.positionalArguments().first());
    const QString address = m_parser.value(m_address);
    url = QUrl(address, QUrl::StrictMode);
    const std::optional<TransferAddress> parsed = transferAddress(address);
    if (!url.isValid() || !parsed)
        return QStringLiteral("not an FTP, FTPS or SFTP address: %1").arg(address);
    const bool sftp = parsed->ssh;
    if (!url.password().isEmpty())
        return QStringLiteral("the password goes in SARVEL_PASSWORD, not the URL");
    if (sftp && url.userName().isEmpty())
        return QStringLiteral("an SFTP address names its user: sftp://user@host");
    folder = terminalCheckFolder(url.path(), sftp);
    if (folder.contains(QLatin1Char('"')))
        return QStringLiteral("the folder may not hold a double quote");
    trust = m_parser.value(m_trust);
    if (m_parser.isSet(m_proxy)) {
        try {
            proxy = parseProxyAddress(m_parser.value(m_proxy));
        } catch (const std::invalid_argument &error) {
            return QString::fromUtf8(error.what());
        }
    }

    const QString formatName = m_parser.isSet(m_format) ? m_parser.value(m_format)
                               : m_parser.isSet(m_json) ? QStringLiteral("json")
                                                        : QStringLiteral("text");
    const std::optional<CheckFormat> named = checkFormatNamed(formatName);
    if (!named || (m_parser.isSet(m_json) && *named != CheckFormat::Json))
        return QStringLiteral("unknown format \"%1\": --format takes %2")
            .arg(formatName, checkFormatNames());
    format = *named;
    output = m_parser.value(m_output);
    if (m_parser.isSet(m_output) && output.isEmpty())
        return QStringLiteral("--output needs a file name");
    return {};
}

int TerminalOptions::number(const QCommandLineOption &option, int fallback, int least,
                            QString &why) const
{
    if (!m_parser.isSet(option))
        return fallback;
    const std::optional<int> value = wholeNumberOption(m_parser.value(option));
    if ((!value || *value < least) && why.isEmpty())
        why = QStringLiteral("--%1 takes a whole number of at least %2, not \"%3\"")
                  .arg(option.names().first())
                  .arg(least)
                  .arg(m_parser.value(option));
    return value.value_or(fallback);
}

void writeTerminalLines(FILE *file, const QStringList &lines)
{
    for (const QString &line : lines) {
        const QByteArray text = withVisibleControls(line).toUtf8() + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), file);
    }
    std::fflush(file);
}

int cannotRunInTerminal(const QStringList &arguments, FILE *out, FILE *err, const QString &why)
{
    if (err)
        writeTerminalLines(err, {QStringLiteral("sarvel: ") + why});
    const qsizetype format = arguments.indexOf(QLatin1String("--format"));
    if ((format >= 0 && arguments.value(format + 1) == QLatin1String("nagios")) ||
        arguments.contains(QLatin1String("--format=nagios"))) {
        const QByteArray line = nagiosUnknown(QStringLiteral("sarvel: ") + why);
        std::fwrite(line.constData(), 1, size_t(line.size()), out);
        std::fflush(out);
    }
    return CheckUnknown;
}

int terminalUsageError(const QStringList &arguments, FILE *out, FILE *err, const QString &why)
{
    writeTerminalLines(err, {QStringLiteral("sarvel: ") + why});
    std::fputs(TerminalUsageText, err);
    std::fflush(err);
    return cannotRunInTerminal(arguments, out, nullptr, why);
}

QString writeTerminalReport(const QString &output, const QByteArray &text, FILE *out)
{
    if (output.isEmpty()) {
        std::fwrite(text.constData(), 1, size_t(text.size()), out);
        std::fflush(out);
        return {};
    }
    // Replaced whole: written beside it, then renamed over it.
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(output, file.errorString());
    return {};
}

TerminalAccount::TerminalAccount(CurlTransfer &transfer, const QUrl &url, const QString &trust,
                                 const std::optional<ProxyAddress> &proxy, QEventLoop &loop)
{
    if (proxy)
        transfer.setProxy(proxy);
    // The server alone: the account goes by its own setters, never in the URL.
    transfer.setURL(QString::fromLatin1(transferAddress(url.toString())->serverUrl()));
    transfer.setUserName(url.userName().isEmpty() ? QStringLiteral("anonymous") : url.userName());
    transfer.setPassword(qEnvironmentVariable("SARVEL_PASSWORD"));
    QObject::connect(&transfer, &TransferComponent::trustQuestion, &loop,
                     [this, &transfer, trust](const TrustQuestion &question) {
                         const bool yes = trustedByFingerprint(question, trust);
                         m_trustedByOption |= yes;
                         if (!yes)
                             m_refused = question;
                         transfer.answerTrust(yes);
                     });
    QObject::connect(&transfer, &TransferComponent::finished, &loop, &QEventLoop::quit);
}
