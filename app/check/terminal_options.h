#pragma once

#include "text/proxy_address.h"
#include "text/report/check_formats.h"
#include "text/transfer_values.h"

#include <QCommandLineParser>
#include <QStringList>
#include <QUrl>

#include <cstdio>
#include <optional>

class CurlTransfer;
class QEventLoop;

// What the terminal's forms (`sarvel --check`, `sarvel --soak`) share: the
// account's address, the format, the output file and the trusted
// fingerprint; their usage; and how they write.

// The usage of every form, for --help and a usage error.
extern const char TerminalUsageText[];

// The options shared by the forms, the address under `--addressOption`.
class TerminalOptions
{
public:
    explicit TerminalOptions(const char *addressOption);
    // The form's own options, given as they are named: "rounds" for --rounds.
    QCommandLineOption valued(const char *name);

    // `arguments` read; empty, or why they cannot run.
    QString parse(const QStringList &arguments);
    bool isSet(const QCommandLineOption &option) const { return m_parser.isSet(option); }
    QString value(const QCommandLineOption &option) const { return m_parser.value(option); }
    // A whole number of at least `least` (`fallback` when not given); when
    // it is not one, `why` says so.
    int number(const QCommandLineOption &option, int fallback, int least, QString &why) const;

    QUrl url;
    QString folder; // from the URL's path
    QString trust;
    CheckFormat format = CheckFormat::Text;
    QString output;
    std::optional<ProxyAddress> proxy; // --proxy's; none: the environment's, if any

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_address;
    QCommandLineOption m_json;
    QCommandLineOption m_trust;
    QCommandLineOption m_format;
    QCommandLineOption m_output;
    QCommandLineOption m_proxy;
};

// Each line of `lines` to `file`, its control characters made visible.
void writeTerminalLines(FILE *file, const QStringList &lines);
// Why the form could not run to `err` (unless null), and for a Nagios
// plugin, which reads only standard output, as its UNKNOWN line to `out`
// too; returns CheckUnknown.
int cannotRunInTerminal(const QStringList &arguments, FILE *out, FILE *err, const QString &why);
// A usage error: why, the usage, to `err` (and the plugin's line to `out`).
int terminalUsageError(const QStringList &arguments, FILE *out, FILE *err, const QString &why);
// `text` to `output` (replaced whole) or, without one, to `out`; empty, or
// why it could not be written.
QString writeTerminalReport(const QString &output, const QByteArray &text, FILE *out);

// The component pointed at the account of `url`, its password from
// SARVEL_PASSWORD, through `proxy` when one is named (else the
// environment's, if any); a trust question answered by the fingerprint
// `trust` alone, as the terminal never asks.
class TerminalAccount
{
public:
    TerminalAccount(CurlTransfer &transfer, const QUrl &url, const QString &trust,
                    const std::optional<ProxyAddress> &proxy, QEventLoop &loop);

    // The question refused, if one was.
    const std::optional<TrustQuestion> &refused() const { return m_refused; }
    bool trustedByOption() const { return m_trustedByOption; }

private:
    std::optional<TrustQuestion> m_refused;
    bool m_trustedByOption = false;
};
