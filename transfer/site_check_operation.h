#pragma once

#include "connection_watch.h"
#include "curl_handles.h"
#include "ftp_reply.h"
#include "operation.h"
#include "site_check_findings.h"
#include "site_check_transcript.h"

#include <QElapsedTimer>
#include <QSet>

// CHECK: the site check as one operation. It runs its requests one after
// another on the engine's handle and the login's one connection (libcurl's
// pool keeps it between them), turns what each request saw into the steps of
// the check, and reports each step as it ends. The password goes out once:
// after the login, a new control connection is refused, except the one
// over IPv6 that step 16 makes on purpose.
class SiteCheckOperation final : public Operation, public ConnectionListener
{
    Q_DISABLE_COPY_MOVE(SiteCheckOperation)
public:
    SiteCheckOperation(OperationOrder order, const OperationContext &context);
    ~SiteCheckOperation() override;

    CURL *easy() const override { return m_easy; }
    const OperationOrder &order() const override { return m_order; }
    void afterAction() override;
    OperationStep done(CURLcode result) override;
    // Reports the steps that did not run and deletes the test file, if it
    // may be on the server, on a short blocking connection of its own.
    OperationOutcome stop() override;

    Socket socketOpening(const QString &address) override;
    void tlsStarted() override;
    void tlsEstablished(const TlsHandshake &handshake) override;

private:
    enum class Request { Login, Listing, Upload, ReadBack, CleanUp, Active, Ipv6, None };

    void setUp(Request request);
    // Reports the steps of the request just done; the request to run next.
    Request conclude(Request request, CURLcode result);
    Request afterLogin(CURLcode result);
    Request afterListing(CURLcode result);
    Request afterUpload(CURLcode result);
    Request afterReadBack(CURLcode result);
    Request afterCleanUp();
    Request afterActive(CURLcode result);
    void afterIpv6(CURLcode result);
    void report(const SiteCheckStep &step);
    // Every step from `from` to `to` that has not been reported, as skipped for `reason`.
    void skip(SiteCheckStepId from, SiteCheckStepId to, const QString &reason);
    void skipFrom(SiteCheckStepId from, const QString &reason)
    {
        skip(from, SiteCheckStepId::Ipv6, reason);
    }
    QString filePath() const;
    bool connectionLost(CURLcode result) const;
    OperationOutcome outcome();
    qint64 now() const { return m_clock.elapsed(); }
    QString primaryAddress() const;
    void replyLine(const QString &line);

    static size_t onWrite(char *data, size_t size, size_t count, void *userp);
    static size_t onRead(char *data, size_t size, size_t count, void *userp);
    static size_t onHeader(char *data, size_t size, size_t count, void *userp);
    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp);

    OperationOrder m_order;
    ReportQueue &m_reports;
    ConnectionWatch &m_watch;
    CURL *m_easy;
    TlsSettings m_tls;
    TlsSettings::Check m_check;
    QString m_checkFailure;
    ServerTrust m_trust;
    RemoteFolder m_folder;
    QByteArray m_folderUrl;
    QString m_fileName;
    QByteArray m_payload;
    QStringList m_addresses;
    qint64 m_resolveMs = 0;

    Request m_request = Request::Login;
    CurlList m_quote;
    CurlList m_postQuote;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    FtpReplyAssembler m_assembler;
    SiteCheckTranscript m_transcript;
    qsizetype m_requestFrom = 0; // the running request's first exchange
    qint64 m_requestStart = 0;
    QByteArray m_received;
    qint64 m_sentBytes = 0;
    qint64 m_firstByteMs = -1;

    bool m_loggedIn = false;
    bool m_controlTls = false;
    TlsHandshake m_handshake;
    qint64 m_tlsStart = -1, m_tlsMs = -1;
    bool m_dataHandshakeSeen = false;
    bool m_dataResumed = false;
    QString m_dataAddress;
    QStringList m_featLines;
    QDateTime m_uploadEnded;
    bool m_fileMayExist = false; // STOR went out and no DELE has answered yet
    bool m_passiveWorked = false;
    QSet<SiteCheckStepId> m_reported;
    QList<SiteCheckStep> m_steps;
    QElapsedTimer m_clock;
};
