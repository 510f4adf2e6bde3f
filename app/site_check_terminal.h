#pragma once

#include <QStringList>

#include <cstdio>

// `sarvel --check URL [--json] [--trust SHA256-FINGERPRINT]`: the site check
// in a terminal, for a scheduler. The account comes from the URL
// (ftp://user@host:port/folder), the password from SARVEL_PASSWORD. It never
// asks: a certificate the system does not trust is accepted only when its
// fingerprint is the one given with --trust, and a server without TLS off
// this machine is refused, both before the login. Prints the table (or the
// JSON of the saved report) to `out` and returns 0 when every step passed,
// 1 with warnings, 2 when one failed or the check could not run.
int runSiteCheckInTerminal(const QStringList &arguments, FILE *out, FILE *err);

// Whether the program's arguments ask for the terminal check.
bool wantsSiteCheckInTerminal(const QStringList &arguments);
