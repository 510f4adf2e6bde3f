#pragma once

#include "engine/engine_messages.h"
#include "site_check/site_check_findings.h"

#include <QSet>

#include <functional>

// The requests a site check makes, in the order they run.
enum class SiteCheckRequest {
    Login,    // connection, greeting, TLS, login, SYST and FEAT, into the folder
    Listing,  // PASV on its own, a passive listing, SIZE of the test file's name
    Upload,   // STOR of the test file, then SIZE, MDTM and a hash command
    ReadBack, // RETR of the test file
    CleanUp,  // DELE and SIZE of the test file
    Active,   // a listing over EPRT/PORT
    Ipv6,     // a new login and a passive listing over IPv6
    None,     // the check is over
};

// What the operation saw of one request, beside the transcript.
struct SiteCheckRequestFacts
{
    CURLcode result = CURLE_OK;
    QString error;      // libcurl's words for the result
    qsizetype from = 0; // the request's first exchange in the transcript
    qint64 elapsedMs = -1;
    qint64 firstByteMs = -1; // after the request started
    QByteArray received;
    QString peer;                // "address:port" of the control connection
    QString dataAddress;         // of the last data connection
    bool lostConnection = false; // the login's connection was gone and not made anew
    QDateTime uploadEndedUtc;
    // Of the login's connection.
    bool connected = false;
    qint64 connectMs = -1;
    long osErrno = 0;
    bool tls = false;
    TlsHandshake handshake;
    qint64 tlsMs = -1;
    TlsSettings::Check check = TlsSettings::Check::Authorities;
    bool dataResumed = false;
};

// The course of a site check: it turns what each request saw into steps,
// reports each once, and says which request follows; the steps that cannot
// run are reported as skipped, with the reason.
class SiteCheckSequence final
{
public:
    struct Target
    {
        OperationOrder order;
        RemoteFolder folder;
        QString fileName;
        QByteArray payload;
        QStringList addresses;
        qint64 resolveMs = -1;
    };
    using Reporter = std::function<void(const SiteCheckStep &)>;
    SiteCheckSequence(Target target, Reporter reporter);

    SiteCheckRequest next(SiteCheckRequest done, const SiteCheckRequestFacts &facts,
                          const SiteCheckTranscript &transcript);

    // Every step from `from` to `to` not reported yet, as skipped for `reason`.
    void skip(SiteCheckStepId from, SiteCheckStepId to, const QString &reason);
    void report(const SiteCheckStep &step);
    // The test file's path as the operator reads it.
    QString filePath() const;
    // What FEAT said, for the hash command after the upload.
    const QStringList &featLines() const { return m_featLines; }
    bool loggedIn() const { return m_loggedIn; }
    const QList<SiteCheckStep> &steps() const { return m_steps; }

private:
    SiteCheckRequest afterLogin(const SiteCheckRequestFacts &f, const SiteCheckTranscript &t);
    SiteCheckRequest afterListing(const SiteCheckRequestFacts &f, const SiteCheckTranscript &t);
    SiteCheckRequest afterUpload(const SiteCheckRequestFacts &f, const SiteCheckTranscript &t);
    SiteCheckRequest afterReadBack(const SiteCheckRequestFacts &f, const SiteCheckTranscript &t);
    SiteCheckRequest afterCleanUp(const SiteCheckRequestFacts &f, const SiteCheckTranscript &t);
    SiteCheckRequest afterActive(const SiteCheckRequestFacts *f, const SiteCheckTranscript &t);
    void afterIpv6(const SiteCheckRequestFacts &f, const SiteCheckTranscript &t);
    // Step 15 does not run under TLS where libcurl cannot accept its data connection.
    SiteCheckRequest toActiveMode(const SiteCheckTranscript &t);
    void skipFrom(SiteCheckStepId from, const QString &reason)
    {
        skip(from, SiteCheckStepId::Ipv6, reason);
    }

    Target m_target;
    Reporter m_reporter;
    QSet<SiteCheckStepId> m_reported;
    QList<SiteCheckStep> m_steps;
    QStringList m_featLines;
    bool m_loggedIn = false;
    bool m_tls = false;
    bool m_passiveWorked = false;
    bool m_fileWritten = false;
};
