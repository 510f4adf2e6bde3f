#pragma once

#include <QStringList>

#include <cstdio>

// `sarvel --check URL [--format F] [--output FILE] [--trust FINGERPRINT]
// [--cert-warn DAYS] [--cert-crit DAYS] [--repeat N [--interval SECONDS]]`:
// the site check in a terminal, for a scheduler or a monitor. The account
// comes from the URL (ftp://user@host:port/folder or
// sftp://user@host:port/path), the password from SARVEL_PASSWORD (on SFTP,
// empty for the SSH agent and keys). It never asks: a certificate the system
// does not trust, or a host key ~/.ssh/known_hosts does not hold, is accepted
// only when its fingerprint is the one given with --trust, and a server
// without TLS off this machine is refused, all before the login; a refused
// one is a failed step of the report, and described on `err` with what
// --trust needs. Writes the report in its format to `out`, or with --output
// to FILE, replaced whole; returns 0 when every step passed, 1 with warnings,
// 2 when one failed (of the worst run, when repeated), 3 when the check could
// not run (bad arguments, with the usage on `err`). Control characters reach
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
