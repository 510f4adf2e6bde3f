#pragma once

#include "engine/curl_operation.h"
#include "engine/operation.h"
#include "sftp/sftp_data.h"
#include "sftp/sftp_plan.h"
#include "sftp/sftp_request.h"
#include "sftp/ssh_login_watch.h"
#include "text/failure_text.h"

#include <QElapsedTimer>

#include <vector>

class ReportQueue;

// One command on an SFTP site from start to end, as FtpOperation is for FTP:
// it owns what libcurl points at (the command list, the error buffer, the
// local file), is the data of its handle's callbacks, and runs the SFTP
// requests its command needs one after the other. SFTP has no folder on the
// server's side, so every request names an absolute path; a folder still
// relative to the login folder is resolved first.
class SftpOperation final : public CurlOperation
{
    Q_DISABLE_COPY_MOVE(SftpOperation)
public:
    using Phase = SshFailureFacts::Phase;

    // Sets the first request into the handle and opens the local file
    // (throws std::runtime_error with the operator's sentence when it cannot).
    SftpOperation(OperationOrder order, const OperationContext &context);

    void afterAction() override;
    OperationStep done(CURLcode result) override;
    OperationOutcome stop() override;

    Socket socketOpening(const QString &address) override;

private:
    void setUp(const SftpStep &step);
    void beginCommand();
    OperationStep nextLogin();
    OperationOutcome failed(CURLcode result);
    OperationOutcome finish(bool ok, const QString &failure, qint32 code = 0);
    void dataMoving();
    PhaseTimes times() const;
    qint64 now() const { return m_clock.nsecsElapsed() / 1000; }

    bool replyHeader(QByteArrayView line) override;
    void debugOutput(curl_infotype type, QByteArrayView data) override;

    std::vector<SshLogin> m_logins; // tried in turn while the server refuses them
    size_t m_loginIndex = 0;
    CurlList m_commands;
    SftpData m_data;
    SshLoginWatch m_ssh;

    RemoteFolder m_folder; // absolute once resolved
    bool m_folderResolved = false;
    std::vector<SftpStep> m_steps;
    size_t m_stepIndex = 0;
    bool m_started = false; // the request has been announced
    QString m_pwdReply;
    qint64 m_size = -1;       // of the file the last request named
    qint64 m_serverSize = -1; // an upload's size on the server

    QElapsedTimer m_clock;
    struct Stamps
    {
        qint64 requestSent = -1, firstByte = -1, dataEnd = -1;
    } m_at;
};
