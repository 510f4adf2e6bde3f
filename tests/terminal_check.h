#pragma once

// `sarvel --check` run in this process, as the tests of the terminal check
// share it.
#include "check/site_check_terminal.h"
#include "transfer_run.h"

#include <cstdio>

struct TerminalRun
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

inline QByteArray readBack(FILE *file)
{
    QByteArray text;
    std::rewind(file);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, qsizetype(n));
    std::fclose(file);
    return text;
}

// `sarvel --check` with `url` and `arguments`, the test password in the
// environment.
inline TerminalRun checkInTerminal(const QString &url, const QStringList &arguments = {})
{
    qputenv("SARVEL_PASSWORD", TestPassword.toUtf8());
    FILE *out = std::tmpfile();
    FILE *err = std::tmpfile();
    TerminalRun run;
    run.status =
        runSiteCheckInTerminal(QStringList{"sarvel", "--check", url} + arguments, out, err);
    run.out = readBack(out);
    run.err = readBack(err);
    return run;
}
