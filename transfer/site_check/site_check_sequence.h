#pragma once

#include "engine/engine_messages.h"
#include "site_check/site_check_book.h"
#include "site_check/site_check_findings.h"

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
    qint64 allSentMs = -1;   // an upload's last byte handed over, on the check's clock
    QByteArray received;
    QString peer;                // "address:port" of the control connection
    QString dataAddress;         // of the last data connection
    bool lostConnection = false; // the login's connection was gone and not made anew
    QString proxyFailure;        // the proxy failed, not the server: why
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
    SiteCheckSequence(Target target, SiteCheckBook::Outlets outlets);

    // Before the first request: the name's addresses, resolved in `ms`.
    void resolving();
    void resolved(const QStringList &addresses, qint64 ms);

    SiteCheckRequest next(SiteCheckRequest done, const SiteCheckRequestFacts &facts,
                          const SiteCheckTranscript &transcript);

    // Where the running request has got to, for the steps' progress: it
    // starts, its control connection opens or stands, a command goes out.
    void started(SiteCheckRequest request);
    void connecting();
    void connected();
    void sent(SiteCheckRequest request, const QString &command);

    // Step 14 from the clean-up request's replies, whether the check goes
    // on after it or was stopped.
    void cleanedUp(const SiteCheckRequestFacts &f, const SiteCheckTranscript &t);
    // The test file's path as the operator reads it.
    QString filePath() const;
    // Its path from the root, when the login said where it starts; else
    // its name.
    QString deletionPath() const;
    // What FEAT said, for the hash command after the upload.
    const QStringList &featLines() const { return m_featLines; }
    bool loggedIn() const { return m_loggedIn; }
    SiteCheckBook &book() { return m_book; }
    const QList<SiteCheckStep> &steps() const { return m_book.steps(); }

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
    void report(const SiteCheckStep &step) { m_book.report(step); }
    void begin(SiteCheckStepId id) { m_book.begin(id, m_target.order.timeoutSeconds); }

    Target m_target;
    SiteCheckBook m_book;
    QStringList m_featLines;
    QString m_loginFolder; // as PWD named it after the login
    bool m_loggedIn = false;
    bool m_tls = false;
    bool m_passiveWorked = false;
    bool m_fileWritten = false;
};
