#pragma once

#include "site_check/site_check_data.h"

#include "engine/curl_handles.h"
#include "engine/curl_operation.h"
#include "engine/operation.h"
#include "site_check/site_check_clean_up.h"
#include "site_check/site_check_requests.h"
#include "site_check/site_check_sequence.h"
#include "site_check/site_check_transcript.h"
#include "text/protocol/ftp_reply.h"

#include <QElapsedTimer>

#include <memory>

// CHECK: the site check as one operation. It runs the check's requests one
// after another on the engine's handle and the login's one connection
// (libcurl's pool keeps it between them), records what each saw, and leaves
// the steps to its SiteCheckSequence. The password goes out once: after the
// login a new control connection is refused, except for the clean-up, which
// must not leave the test file behind, and for step 16's login over IPv6.
class SiteCheckOperation final : public CurlOperation
{
    Q_DISABLE_COPY_MOVE(SiteCheckOperation)
public:
    // Resolves the host (the engine's thread waits, as for libcurl's own
    // resolver) and sets the first request into the handle.
    SiteCheckOperation(OperationOrder order, const OperationContext &context);

    OperationStep done(CURLcode result) override;
    // Deletes the test file when it may be on the server, as one short
    // request the engine runs; the steps that did not run are reported.
    OperationStep stopping() override;
    OperationOutcome stop() override;

    Socket socketOpening(const QString &address) override;
    void tlsStarted() override;
    void tlsEstablished(const TlsHandshake &handshake) override;

private:
    void setUp(SiteCheckRequest request);
    SiteCheckRequestFacts facts(CURLcode result) const;
    OperationOutcome outcome();
    // `outcome` with what the check's login was, and its time.
    OperationOutcome withLogin(OperationOutcome outcome) const;
    qint64 now() const { return m_clock.elapsed(); }
    QString primaryAddress() const;
    void replyLine(const QString &line);

    bool replyHeader(QByteArrayView line) override;
    void debugOutput(curl_infotype type, QByteArrayView data) override;

    TlsSettings m_tls;
    TlsSettings::Check m_tlsCheck; // as the engine asked: a pinned check shows in m_tls
    QString m_checkFailure;
    ServerTrust m_trust;
    QByteArray m_folderUrl;
    QString m_fileName;
    std::unique_ptr<SiteCheckSequence> m_sequence;

    SiteCheckRequest m_request = SiteCheckRequest::Login;
    SiteCheckCommands m_commands;
    FtpReplyAssembler m_assembler;
    SiteCheckTranscript m_transcript;
    qsizetype m_requestFrom = 0; // the running request's first exchange
    qint64 m_requestStart = 0;

    bool m_controlTls = false;
    TlsHandshake m_handshake;
    qint64 m_tlsStart = -1;
    qint64 m_tlsMs = -1;
    bool m_dataHandshakeSeen = false;
    bool m_dataResumed = false;
    QString m_dataAddress;
    std::optional<int> m_passivePort; // the last passive reply's, for the log through a proxy
    QDateTime m_uploadEnded;
    SiteCheckCleanUp m_cleanUp;
    QElapsedTimer m_clock;
    SiteCheckData m_data{m_reports, m_clock};
};
