#pragma once

#include <QStringList>

#include <cstdio>

// `sarvel --check URL [--json] [--trust FINGERPRINT]`: the site check in a
// terminal, for a scheduler. The account comes from the URL
// (ftp://user@host:port/folder or sftp://user@host:port/path), the password
// from SARVEL_PASSWORD (on SFTP, empty for the SSH agent and keys). It never
// asks: a certificate the system does not trust, or a host key
// ~/.ssh/known_hosts does not hold, is accepted only when its fingerprint is
// the one given with --trust, and a server without TLS off this machine is
// refused, all before the login; a refused certificate or host key is
// described on `err` with what --trust needs. Prints the table, each
// warning's and failure's hint under its row (or the JSON of the saved
// report), to `out` and returns 0 when every step passed, 1 with warnings, 2
// when one failed or the check could not run. Control characters reach
// neither `out` nor `err` as they are.
int runSiteCheckInTerminal(const QStringList &arguments, FILE *out, FILE *err);

// Whether the program's arguments ask for the terminal check.
bool wantsSiteCheckInTerminal(const QStringList &arguments);

// Whether the program's arguments ask for its usage or version, which it
// prints without a display.
bool wantsUsageOrVersion(const QStringList &arguments);
// Prints the usage (the window and the terminal forms) for --help, or the
// version for --version, to `out`; returns 0.
int printUsageOrVersion(const QStringList &arguments, FILE *out);

// The program's version: "0.1".
QString sarvelVersion();
