#pragma once

#include "text/report/site_check_report.h"
#include "text/transfer_values.h"

#include <QString>
#include <QStringList>

#include <optional>

// The rules and wording of the site check in a terminal
// (`sarvel --check URL [--trust FINGERPRINT]`).

// The folder to check, from the URL's path: on FTP relative to the login's
// folder ("/in" is "in"); on SFTP absolute, as for the curl tool, where a
// path starting with "/~/" is a folder under the login's own ("/~/up" is
// "up") and "/" or "/~" the login's folder itself (empty).
QString terminalCheckFolder(const QString &urlPath, bool sftp);

// Whether `given` with --trust names the certificate or host key `question`
// asks about. A certificate's SHA-256 is hex pairs, in either letter case,
// with or without colons; a host key's is base64, where letter case counts,
// with or without "SHA256:" before it. Clear text is never trusted this way.
bool trustedByFingerprint(const TrustQuestion &question, const QString &given);

// What the terminal says when the certificate or host key of `question` was
// not trusted: with `given` empty, that nothing vouches for it; otherwise
// that its fingerprint is not the one given. Then the host and port, the
// subject or key type, the fingerprint in the form --trust takes, and a
// command that shows the fingerprint for comparison (TLS from the first byte
// with `implicitTls`, else after AUTH TLS). Empty for clear text.
QStringList untrustedInTerminal(const TrustQuestion &question, const QString &given,
                                bool implicitTls = false);

// `detail` of a check row with the operator's trust named as the terminal
// grants it: "trusted by --trust".
QString trustedByOptionWording(QString detail);

// The steps of a check the terminal stopped at `question` (a certificate or
// host key it may not trust with `given`, or a login in clear text), as its
// report carries them: the step that asked failed, with why and what --trust
// needs (`refusal` for clear text), the steps before it that the check went
// through passed, the rest skipped. `reported` holds those that came.
QList<SiteCheckStep> untrustedSteps(const QList<SiteCheckStep> &reported,
                                    const TrustQuestion &question, const QString &given,
                                    const QString &refusal);

// The value of an option that takes a whole number of at least 0 ("30"):
// none for anything else ("-1", "7.5", "", "1e3", one too large for an int).
std::optional<int> wholeNumberOption(const QString &text);
