#pragma once

#include "site_check/site_check_data.h"

#include "engine/curl_operation.h"
#include "sftp/sftp_request.h"
#include "sftp/ssh_login_watch.h"
#include "site_check/sftp_site_check_sequence.h"
#include "site_check/site_check_clean_up.h"

#include <QElapsedTimer>

#include <memory>
#include <vector>

// CHECK on an SFTP site: the steps of the site check an SSH server can
// answer, run as requests one after another on the engine's handle and the
// login's one SSH connection (libcurl's pool keeps it between them). It
// records what each request saw and leaves the steps to its
// SftpSiteCheckSequence. The host key goes through the same trust as any
// SFTP command before anything of the account is sent; the password goes
// out once, and after the login a new connection is refused except to
// delete the test file.
class SftpSiteCheckOperation final : public CurlOperation
{
    Q_DISABLE_COPY_MOVE(SftpSiteCheckOperation)
public:
    // Resolves the host (the engine's thread waits, as for libcurl's own
    // resolver) and sets the login's request into the handle.
    SftpSiteCheckOperation(OperationOrder order, const OperationContext &context);

    void afterAction() override;
    OperationStep done(CURLcode result) override;
    // Deletes the test file when it may be on the server, as one short
    // request the engine runs; the steps that did not run are reported.
    OperationStep stopping() override;
    OperationOutcome stop() override;

    Socket socketOpening(const QString &address) override;

private:
    void setUp(SftpCheckRequest request);
    SftpCheckFacts facts(CURLcode result) const;
    OperationOutcome withLogin(OperationOutcome outcome) const;
    qint64 now() const { return m_clock.elapsed(); }

    bool replyHeader(QByteArrayView line) override;
    void debugOutput(curl_infotype type, QByteArrayView data) override;

    std::vector<SshLogin> m_logins; // keys are tried in turn, a password once
    size_t m_loginIndex = 0;
    SshLoginWatch m_ssh;
    CurlList m_commands;

    QString m_fileName;
    std::unique_ptr<SftpSiteCheckSequence> m_sequence;
    SftpCheckRequest m_request = SftpCheckRequest::Login;
    qint64 m_requestStart = 0;
    QString m_header; // libcurl's answer to "pwd"
    QDateTime m_uploadEnded;
    SiteCheckCleanUp m_cleanUp;
    QElapsedTimer m_clock;
    SiteCheckData m_data{m_reports, m_clock};
};
