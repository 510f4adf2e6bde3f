#include "soak/soak_terminal.h"

#include "check/terminal_options.h"
#include "curl_transfer.h"
#include "text/report/check_in_terminal.h"
#include "text/report/soak_formats.h"
#include "text/transfer_address.h"
#include "text/transfer_command.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>

namespace {

// ASCII digits only: "+5", " 5" and "1e3" are refused.
bool digitsOnly(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

struct SoakOptions
{
    int rounds = DefaultSoakRounds;
    SoakSettings settings;
};

QString parseSoakOptions(TerminalOptions &parser, const QStringList &arguments,
                         SoakOptions &options)
{
    const QCommandLineOption rounds = parser.valued("rounds"), maxSize = parser.valued("max-size"),
                             seed = parser.valued("seed");
    if (const QString why = parser.parse(arguments); !why.isEmpty())
        return why;
    QString why;
    options.rounds = parser.number(rounds, DefaultSoakRounds, 1, why);
    if (why.isEmpty() && options.rounds > MaxSoakRounds)
        why = QStringLiteral("--rounds takes at most %1 rounds").arg(MaxSoakRounds);
    if (parser.isSet(maxSize)) {
        bool ok = false;
        options.settings.maxSize = parser.value(maxSize).toLongLong(&ok);
        if ((!ok || options.settings.maxSize < 1 || !parser.value(maxSize).at(0).isDigit()) &&
            why.isEmpty())
            why = QStringLiteral("--max-size takes a number of bytes of at least 1, not \"%1\"")
                      .arg(parser.value(maxSize));
    }
    if (parser.isSet(seed)) {
        bool ok = false;
        options.settings.seed = parser.value(seed).toULongLong(&ok);
        if ((!ok || !digitsOnly(parser.value(seed))) && why.isEmpty())
            why = QStringLiteral("--seed takes a whole number, not \"%1\"").arg(parser.value(seed));
    }
    return why;
}

} // namespace

bool wantsSoakInTerminal(const QStringList &arguments)
{
    return arguments.contains(QLatin1String("--soak"));
}

int runSoakInTerminal(const QStringList &arguments, FILE *out, FILE *err)
{
    TerminalOptions parser("soak");
    SoakOptions options;
    if (const QString why = parseSoakOptions(parser, arguments, options); !why.isEmpty())
        return terminalUsageError(arguments, out, err, why);

    CurlTransfer transfer;
    QEventLoop loop;
    const TerminalAccount account(transfer, parser.url, parser.trust, parser.proxy, loop);
    transfer.setSoakSettings(options.settings);
    SoakDocument soak;
    soak.started = QDateTime::currentDateTimeUtc();
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&transfer, &TransferComponent::soakStarted, &loop,
                     [&soak](const QString &target) { soak.target = target; });
    QObject::connect(&transfer, &TransferComponent::soakRound, &loop,
                     [&soak](const SoakRound &round) { soak.rounds << round; });
    QString command = QStringLiteral("SOAK %1").arg(options.rounds);
    if (!parser.folder.isEmpty())
        command += QStringLiteral(" \"%1\"").arg(parser.folder);
    try {
        transfer.Execute(command);
    } catch (const std::exception &error) {
        return cannotRunInTerminal(arguments, out, err, QString::fromUtf8(error.what()));
    }
    loop.exec();
    soak.durationMs = clock.elapsed();

    if (const std::optional<TrustQuestion> &refused = account.refused()) {
        // The account cannot be used as it stands: no round ran.
        QStringList untrusted = untrustedInTerminal(
            *refused, parser.trust, transferAddress(parser.url.toString())->implicitTls);
        if (untrusted.isEmpty())
            untrusted << transfer.ResponseInfo();
        untrusted.first().prepend(QLatin1String("sarvel: "));
        writeTerminalLines(err, untrusted);
        return CheckCritical;
    }
    if (soak.rounds.isEmpty())
        return cannotRunInTerminal(arguments, out, err, transfer.ResponseInfo());

    CheckOutputContext context;
    context.libcurlVersion = libcurlVersion();
    const QByteArray text = soakOutput(parser.format, soak, context);
    if (const QString failure = writeTerminalReport(parser.output, text, out); !failure.isEmpty())
        return cannotRunInTerminal(arguments, out, err, failure);
    return soakExitCode(soak.rounds);
}
