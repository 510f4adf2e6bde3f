#pragma once

#include "connection_watch.h"
#include "failure_text.h"
#include "local_files.h"
#include "operation.h"
#include "sftp_listing.h"
#include "sftp_plan.h"
#include "sftp_request.h"
#include "ssh_host_key.h"

#include <QElapsedTimer>

#include <vector>

class ReportQueue;

// One command on an SFTP site from start to end, as FtpOperation is for FTP:
// it owns what libcurl points at (the command list, the error buffer, the
// local file), is the data of its handle's callbacks, and runs the SFTP
// requests its command needs one after the other. SFTP has no folder on the
// server's side, so every request names an absolute path; a folder still
// relative to the login folder is resolved first.
class SftpOperation final : public Operation, public ConnectionListener
{
    Q_DISABLE_COPY_MOVE(SftpOperation)
public:
    using Phase = SshFailureFacts::Phase;

    // Sets the first request into the handle and opens the local file
    // (throws std::runtime_error with the operator's sentence when it cannot).
    SftpOperation(OperationOrder order, const OperationContext &context);
    ~SftpOperation() override;

    CURL *easy() const override { return m_easy; }
    const OperationOrder &order() const override { return m_order; }
    void afterAction() override;
    OperationStep done(CURLcode result) override;
    OperationOutcome stop() override;

    Socket socketOpening(const QString &address) override;
    void tlsStarted() override {}
    void tlsEstablished(const TlsHandshake &) override {}

private:
    void setUp(const SftpStep &step);
    void beginCommand();
    OperationStep hostKeyStep();
    OperationOutcome failed(CURLcode result);
    OperationOutcome finish(bool ok, const QString &failure, qint32 code = 0);
    int checkHostKey(int curlKeyType, const QByteArray &blob);
    void remark(QByteArrayView text);
    void dataMoving();
    PhaseTimes times() const;
    qint64 now() const { return m_clock.nsecsElapsed() / 1000; }

    static int onHostKey(void *userp, int keyType, const char *key, size_t length);
    static size_t onWrite(char *data, size_t size, size_t count, void *userp);
    static size_t onRead(char *data, size_t size, size_t count, void *userp);
    static size_t onHeader(char *data, size_t size, size_t count, void *userp);
    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp);
    static int onProgress(void *userp, curl_off_t, curl_off_t dlNow, curl_off_t, curl_off_t ulNow);

    OperationOrder m_order;
    QByteArray m_hostKeyPin; // trusted this session
    SshLogin m_login;
    ReportQueue &m_reports;
    ConnectionWatch &m_watch;
    CURL *m_easy;
    CurlList m_commands;
    LocalFiles m_files;
    std::optional<SftpListingFilter> m_listing; // DIR and LS
    char m_errorBuffer[CURL_ERROR_SIZE] = {};

    RemoteFolder m_folder; // absolute once resolved
    bool m_folderResolved = false;
    std::vector<SftpStep> m_steps;
    size_t m_stepIndex = 0;
    Phase m_phase = Phase::Connecting;
    bool m_fresh = false;   // this operation opened the login's connection
    bool m_started = false; // the command's own request has been announced
    std::optional<HostKeyVerdict> m_refusedKey; // for the question or the refusal
    QString m_pwdReply;
    QString m_uploadName;
    QString m_method;       // the login method that was tried
    qint64 m_size = -1;       // of the file the last request named
    qint64 m_downloaded = 0;
    qint64 m_serverSize = -1; // an upload's size on the server

    QElapsedTimer m_clock;
    QElapsedTimer m_sinceProgress;
    struct Stamps
    {
        qint64 resolved = -1, connected = -1, keyDone = -1, loginStart = -1, loginDone = -1,
               requestSent = -1, firstByte = -1, dataEnd = -1;
    } m_at;
};
