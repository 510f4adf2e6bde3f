#pragma once

#include "site_check/site_check_data.h"

#include "engine/curl_operation.h"
#include "engine/operation.h"
#include "sftp/sftp_request.h"
#include "sftp/ssh_login_watch.h"
#include "text/remote_folder.h"
#include "text/site_check_report.h"

#include <QElapsedTimer>
#include <QSet>

#include <vector>

// CHECK on an SFTP site: the steps of the site check an SSH server can
// answer, run as requests one after another on the engine's handle and the
// login's one SSH connection (libcurl's pool keeps it between them). The
// host key goes through the same trust as any SFTP command before anything
// of the account is sent; the password goes out once, and after the login a
// new connection is refused except to delete the test file.
class SftpSiteCheckOperation final : public CurlOperation
{
    Q_DISABLE_COPY_MOVE(SftpSiteCheckOperation)
public:
    // Resolves the host (the engine's thread waits, as for libcurl's own
    // resolver) and sets the login's request into the handle.
    SftpSiteCheckOperation(OperationOrder order, const OperationContext &context);

    void afterAction() override { m_ssh.afterAction(m_easy); }
    OperationStep done(CURLcode result) override;
    // Reports the steps that did not run, and deletes the test file when it
    // may be on the server, on a short blocking connection of its own.
    OperationOutcome stop() override;

    Socket socketOpening(const QString &address) override;

private:
    enum class Request { Login, Listing, Upload, Verify, ReadBack, Delete, Gone, None };

    void setUp(Request request);
    Request afterLogin(CURLcode result);
    Request afterListing(CURLcode result);
    Request afterUpload(CURLcode result);
    Request afterVerify(CURLcode result);
    Request afterDelete(CURLcode result);
    // The step ended by `result` in the operator's words; empty for success.
    QString failure(CURLcode result, const QString &path) const;
    QString filePath() const;
    void report(SiteCheckStepId id, const SiteCheckOutcome &outcome, qint64 elapsedMs,
                const QVariantMap &measured = {});
    // Every step from `from` on not reported yet, as skipped for `reason`.
    void skipFrom(SiteCheckStepId from, const QString &reason);
    void cleanUpAfterStop();
    OperationOutcome outcome();
    qint64 now() const { return m_clock.elapsed(); }

    bool replyHeader(QByteArrayView line) override;
    void debugOutput(curl_infotype type, QByteArrayView data) override;

    std::vector<SshLogin> m_logins; // keys are tried in turn, a password once
    size_t m_loginIndex = 0;
    SshLoginWatch m_ssh;
    CurlList m_commands;

    QStringList m_addresses;
    qint64 m_resolveMs = -1;
    RemoteFolder m_folder; // where the test file goes, absolute once the login stands
    QString m_fileName;
    QList<SiteCheckStep> m_steps;
    QSet<SiteCheckStepId> m_reported;

    Request m_request = Request::Login;
    qint64 m_requestStart = 0;
    QString m_header; // libcurl's answer to "pwd"
    QDateTime m_uploadEnded;
    QString m_rmFailure;
    qint64 m_cleanUpStart = -1;
    bool m_loggedIn = false;
    QElapsedTimer m_clock;
    SiteCheckData m_data{m_reports, m_clock};
};
