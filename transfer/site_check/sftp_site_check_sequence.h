#pragma once

#include "engine/engine_messages.h"
#include "sftp/ssh_host_key.h"
#include "site_check/site_check_book.h"
#include "text/failure_text.h"
#include "text/protocol/remote_folder.h"
#include "text/protocol/ssh_offer.h"
#include "text/protocol/ssh_session_facts.h"

#include <QDateTime>

#include <curl/curl.h>

#include <optional>

// The requests of an SFTP site's check, in the order they run.
enum class SftpCheckRequest {
    Login,    // connection, SSH version, key exchange, host key, login, "pwd"
    Listing,  // the names in the test folder
    Upload,   // the test file
    Verify,   // its size and time
    ReadBack, // its bytes
    Delete,   // "rm" of the test file
    Gone,     // whether it is still there
    None,     // the check is over
};

// What the operation saw of one request of an SFTP check.
struct SftpCheckFacts
{
    CURLcode result = CURLE_OK;
    QString error;         // libcurl's words for the result
    qint64 elapsedMs = -1; // the request's
    // Of the login's request.
    SshFailureFacts::Phase phase = SshFailureFacts::Phase::Connecting;
    long osErrno = 0;
    QString peer;         // the address connected to
    QString proxyFailure; // the proxy failed, not the server: why
    qint64 connectMs = -1;
    qint64 keyExchangeMs = -1;
    qint64 loginMs = -1;
    std::optional<SshSessionFacts> session;
    QString nothingInCommon;              // a failed key exchange: what the two sides lack
    std::optional<SshOfferReading> offer; // the server's, read on a connection of its own
    std::optional<HostKeyVerdict> hostKey;
    QString refusal; // the operator's sentence for a refused host key
    QString offeredMethods;
    QString method; // the login method tried, in the operator's words
    QString pwd;    // libcurl's answer to "pwd"
    // Of the test file's requests.
    QByteArray received;
    qint64 sent = 0;
    qint64 firstByteMs = -1; // after the request started
    bool fileMayExist = false;
    QDateTime uploadEndedUtc;
    qint64 size = -1;     // as the server states it
    qint64 modified = -1; // seconds since the epoch, UTC
};

// The course of an SFTP site's check: it turns what each request saw into
// the check's steps, kept by its SiteCheckBook, and says which request
// follows. It calls no library: a table of facts drives it.
class SftpSiteCheckSequence final
{
public:
    struct Target
    {
        OperationOrder order;
        QString fileName;
        QByteArray payload;
    };
    SftpSiteCheckSequence(Target target, SiteCheckBook::Outlets outlets);

    void resolving();
    void resolved(const QStringList &addresses, qint64 ms);
    SftpCheckRequest next(SftpCheckRequest done, const SftpCheckFacts &facts);

    // For the steps' progress: a request starts, the connection opens, the
    // login reaches `phase`.
    void started(SftpCheckRequest request);
    void connecting();
    void reached(SshFailureFacts::Phase phase);

    // Where the test file goes: absolute once the login stands.
    const RemoteFolder &folder() const { return m_folder; }
    QString filePath() const;
    bool loggedIn() const { return m_loggedIn; }
    // The upload was refused: no test file was made.
    bool writeRefused() const { return m_writeRefused; }
    // Step 14 from a stopped check's "rm".
    void deletedAfterStop(const SftpCheckFacts &f);
    SiteCheckBook &book() { return m_book; }

private:
    SftpCheckRequest afterLogin(const SftpCheckFacts &f);
    bool afterConnection(const SftpCheckFacts &f);
    bool afterHostKey(const SftpCheckFacts &f);
    SftpCheckRequest afterListing(const SftpCheckFacts &f);
    SftpCheckRequest afterUpload(const SftpCheckFacts &f);
    SftpCheckRequest afterVerify(const SftpCheckFacts &f);
    SftpCheckRequest afterReadBack(const SftpCheckFacts &f);
    SftpCheckRequest afterDelete(const SftpCheckFacts &f);
    void afterGone(const SftpCheckFacts &f);
    // The request's end in the operator's words, about `path`; empty for success.
    QString failure(const SftpCheckFacts &f, const QString &path) const;
    // A login's failure in the operator's words.
    QString sshFailure(const SftpCheckFacts &f) const;
    void report(SiteCheckStepId id, const SiteCheckOutcome &outcome, qint64 elapsedMs,
                const QVariantMap &measured = {});
    void begin(SiteCheckStepId id) { m_book.begin(id, m_target.order.timeoutSeconds); }

    Target m_target;
    SiteCheckBook m_book;
    QStringList m_addresses;
    qint64 m_resolveMs = -1;
    RemoteFolder m_folder;
    QString m_rmFailure;
    qint64 m_deleteMs = 0;
    bool m_loggedIn = false;
    bool m_writeRefused = false;
};
