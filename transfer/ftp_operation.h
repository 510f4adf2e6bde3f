#pragma once

#include "connection_watch.h"
#include "ftp_reply.h"
#include "local_files.h"
#include "operation.h"
#include "operator_log.h"
#include "request_builder.h"
#include "tls_trust.h"

#include <QElapsedTimer>

#include <memory>
#include <optional>

class ReportQueue;

// One FTP command from start to end. It owns all that libcurl points at
// while it runs (the prepared request with its command lists, the error
// buffer, the local file), is the data of every callback of its handle, and
// holds where it stands as one phase. Its destructor leaves the handle
// pointing at nothing of its own.
class FtpOperation final : public Operation, public ConnectionListener
{
    Q_DISABLE_COPY_MOVE(FtpOperation)
public:
    enum class Phase {
        Waiting,      // nothing has happened yet; a pooled login needs no connecting
        Connecting,   // the login's connection is being made
        Connected,    // it is up; no reply yet
        Greeted,      // the server has spoken
        LoggingIn,    // USER has gone out
        Commanding,   // logged in: the command's own steps
        Transferring, // data is moving
        CheckingSize, // an upload's size is being asked
    };

    // Sets the order into the handle, opens the local file (throws
    // std::runtime_error with the operator's sentence when it cannot) and
    // says that the operation starts.
    FtpOperation(OperationOrder order, const OperationContext &context);
    ~FtpOperation() override;

    CURL *easy() const override { return m_request.easy; }
    const OperationOrder &order() const override { return m_order; }
    // Notices a connection that has come up.
    void afterAction() override;
    OperationStep done(CURLcode result) override;
    OperationOutcome stop() override;

    Socket socketOpening(const QString &address) override;
    void tlsStarted() override;
    void tlsEstablished(const TlsHandshake &handshake) override;

private:
    // libcurl's own words for its result, from the error buffer.
    QString detail() const;
    bool failedLocally() const { return !m_files.failure().isEmpty() || !m_replyError.isEmpty(); }
    OperationOutcome conclude(CURLcode result);
    qint64 now() const { return m_clock.nsecsElapsed() / 1000; }
    void noteConnected();
    void commandSent(const QByteArray &line);
    void replyLine(const QString &line);
    void dataMoving();
    QString describeFailure(CURLcode result) const;
    PhaseTimes times() const;
    OperationOutcome finish(bool ok, const QString &failure);

    static size_t onWrite(char *data, size_t size, size_t count, void *userp);
    static size_t onRead(char *data, size_t size, size_t count, void *userp);
    static size_t onHeader(char *data, size_t size, size_t count, void *userp);
    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp);
    static int onProgress(void *userp, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                          curl_off_t ulNow);

    OperationOrder m_order;
    TlsSettings::Check m_check;
    QString m_checkFailure; // why the certificate check failed before this probe
    ServerTrust m_trust;
    bool m_announceUtf8;
    bool m_closing; // CLOSE: QUIT on the pooled login, and nothing more
    ReportQueue &m_reports;
    ConnectionWatch &m_watch;
    PreparedRequest m_request;
    LocalFiles m_files;
    FtpReplyAssembler m_assembler;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};

    Phase m_phase = Phase::Waiting;
    bool m_freshLogin = false; // this operation opened the login's connection
    bool m_replied = false;    // a reply came in during this operation
    bool m_controlTls;         // the login's connection is encrypted
    QString m_protection;      // "TLS 1.2", once this operation's login handshake is done
    QString m_replyError;      // a reply past the assembler's limits
    QString m_lastCommand;     // as sent, the password masked
    QString m_dataAddress;     // of the last data connection
    QString m_pwdFolder;
    qint64 m_serverSize = -1; // an upload's size on the server

    QElapsedTimer m_clock;
    QElapsedTimer m_sinceProgress;
    // Microseconds since the start; -1 until it happened.
    struct Stamps
    {
        qint64 resolved = -1, connected = -1, greeted = -1, tlsStart = -1, tlsDone = -1,
               loginStart = -1, loginDone = -1, requestSent = -1, firstByte = -1, dataEnd = -1;
    } m_at;
};
