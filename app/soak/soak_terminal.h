#pragma once

#include <QStringList>

#include <cstdio>

// `sarvel --soak URL [--rounds N] [--max-size BYTES] [--seed N] [--format F]
// [--output FILE] [--trust FINGERPRINT]`: the soak in a terminal, on the
// account of URL as `sarvel --check` takes it, trusted as it trusts. Writes
// the summary in its format to `out`, or with --output to FILE, replaced
// whole; returns 0 when every round passed, 2 when one failed (or the
// account could not be trusted), 3 when the soak could not run.
int runSoakInTerminal(const QStringList &arguments, FILE *out, FILE *err);

// Whether the program's arguments ask for the terminal soak.
bool wantsSoakInTerminal(const QStringList &arguments);
