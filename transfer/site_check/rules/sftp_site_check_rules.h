#pragma once

#include "text/report/site_check_report.h"
#include "text/protocol/ssh_offer.h"
#include "text/protocol/ssh_session_facts.h"

#include <QDateTime>
#include <QString>
#include <QVariantMap>

#include <optional>

// The rules of the steps an SFTP site's check has of its own, and of the
// test file's steps where SFTP answers with a status rather than an FTP
// reply. The steps FTP and SFTP share keep their rules in
// site_check_rules.h and site_check_file_rules.h.

// Steps 3 and 4: the server's version string, and the algorithms the key
// exchange settled on, which warn when current OpenSSH would refuse them.
SiteCheckOutcome sshVersionOutcome(const QString &version);
// What the key exchange chose, beside what the server offered where its
// offer could be read; the offer alone where libssh2's session could not.
SiteCheckOutcome keyExchangeOutcome(const std::optional<SshSessionFacts> &session,
                                    const std::optional<SshOfferReading> &offer = std::nullopt);
// The same for the JSON report: the algorithms chosen, and the server's offer
// in full.
QVariantMap keyExchangeMeasures(const std::optional<SshSessionFacts> &session,
                                const std::optional<SshOfferReading> &offer);

// Step 5: the host key the server showed and what vouched for it.
struct HostKeyFacts
{
    QString keyType;
    QString fingerprint;
    bool knownHosts = false; // ~/.ssh/known_hosts holds it
    bool pinned = false;     // the operator trusted it this session
    bool refused = false;    // another key is known for the host
    QString refusal;         // the operator's sentence for a refused key
};
SiteCheckOutcome hostKeyOutcome(const HostKeyFacts &key);

// Step 6: the one login attempt, by `method` in the operator's words.
SiteCheckOutcome sftpLoginOutcome(bool loggedIn, const QString &user, const QString &method);

// Step 7: the methods the server listed ("publickey,password"), empty when
// it listed none.
SiteCheckOutcome authMethodsOutcome(const QString &offered);

// Step 8: the folder the login starts in, empty when libcurl named none.
SiteCheckOutcome homeFolderOutcome(const QString &folder);

// Step 9: a listing of `folder`; `failure` empty when it came, otherwise
// what refused it.
SiteCheckOutcome sftpListingOutcome(const QString &folder, int entries, const QString &failure);

// Step 10: SFTP's data always travels inside the SSH connection.
SiteCheckOutcome sftpDataProtectionOutcome();

// Step 11: the upload of `bytes` into `folder`; `status` the SFTP status of
// a refusal (none when it went through or no status was given), `failure`
// empty on success.
SiteCheckOutcome sftpWriteOutcome(std::optional<int> status, const QString &failure,
                                  const QString &folder, qint64 bytes);

// Step 12 is the combinedOutcome of these: the size the server states
// (-1 for none), the file's modification time against this computer's clock
// when the upload ended (invalid for none), and the hash SFTP lacks.
SiteCheckOutcome sftpSizeOutcome(qint64 sent, qint64 reported);
SiteCheckOutcome sftpClockOutcome(const QDateTime &modifiedUtc, const QDateTime &uploadEndedUtc);
SiteCheckOutcome sftpHashOutcome();

// Step 14: the answer to "rm" (`failure` empty when it was done) and
// whether the file still shows afterwards.
SiteCheckOutcome sftpCleanUpOutcome(const QString &failure, const QString &path, bool stillThere);
