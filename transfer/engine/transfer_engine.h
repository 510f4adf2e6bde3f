#pragma once

#include "engine/connection_watch.h"
#include "engine/curl_handles.h"
#include "engine/engine_messages.h"
#include "engine/operation.h"
#include "engine/report_queue.h"
#include "engine/socket_registry.h"
#include "engine/tls_trust.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>

#include <curl/curl.h>

class MultiDriver;

// The transfer work on a thread of its own: the libcurl multi handle with
// the pooled login, the running operation, and a question that waits for
// the operator. Called only on its own thread (the facade posts to it);
// everything it has to say goes out through its report queue, in order, in
// batches.
class TransferEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransferEngine)
public:
    TransferEngine(OperationFactory makeOperation, ReportQueue::Outlet outlet,
                   std::shared_ptr<SocketRegistry> sockets, QThread *reportThread);
    ~TransferEngine() override;

    void start(const OperationOrder &order);
    // Stops the running operation, if any, with "Stopped by the operator".
    void abort();
    // The operator's answer to the question the running operation waits for.
    void answerTrust(bool trusted);
    // Before the thread ends: drops the running operation and the pool.
    void shutdown();
    // While the kept login is idle, a request that keeps it open every
    // `seconds`; 0: none.
    void setKeepalive(int seconds);

private:
    struct CurlShareDeleter
    {
        void operator()(CURLSH *share) const { curl_share_cleanup(share); }
    };
    // An operation waiting for the operator, and what it asked.
    struct Pending
    {
        OperationOrder order;
        TrustQuestion question;
        QByteArray pin;
    };
    // What the pooled login has been told, and what protects it.
    struct Login
    {
        QString protection; // empty while there is none
        bool utf8Announced = false;
        std::optional<QStringList> features; // its FEAT reply, once asked
        std::optional<ProxyAddress> route; // the proxy it was made through
    };

    MultiDriver &driver();
    // Makes the operation for `order` on the engine's handle and starts its
    // request; throws what making it throws.
    void launch(const OperationOrder &order, TlsSettings::Check check, const QString &reason);
    // The one way in for every attempt, the TLS retry included: a failure
    // to start ends the operation in the error state.
    void attempt(const OperationOrder &order,
                 TlsSettings::Check check = TlsSettings::Check::Authorities,
                 const QString &reason = {});
    // Runs `call`, a call into the running operation or the making of one:
    // whatever it throws ends the operation in the error state with a
    // sentence for the operator, and the engine goes on. The command is a
    // copy: the operation that holds it may end inside.
    template <typename Call> void guarded(TransferCommand command, Call &&call);
    void endOperation(bool renewHandle);
    CURLSH *share();
    void onDone(CURL *easy, CURLcode result);
    // Has the running operation go on after its request ended with `result`,
    // or after its wait (`resuming`).
    void advance(CURLcode result, bool resuming);
    // What follows the running operation's `step`, its last request's
    // `result` behind it.
    void follow(const OperationOrder &order, const OperationStep &step, CURLcode result);
    void resumeWaiting();
    // The keepalive (engine_keepalive.cpp).
    void armKeepalive();
    void keepAlive();
    void keepaliveDone(CURLcode result);
    // Before a command on the kept login: drops it when its connection is
    // found cut, so the command logs in again; says why it logs in again
    // when it `logsIn`.
    void checkKeptLogin(bool logsIn);
    // Drops the kept login for `reason`, which the next command's log gives.
    void loseLogin(const QString &reason);
    void afterAction();
    void ask(const OperationOrder &order, TrustQuestion question, const QByteArray &pin);
    void report(const TransferCommand &command, const OperationOutcome &outcome);
    void refuse(const TransferCommand &command, const QString &message);
    void dropLogin(bool cut);
    void setProtection(const QString &protection);

    OperationFactory m_makeOperation;
    ReportQueue m_reports;
    std::shared_ptr<SocketRegistry> m_sockets;
    ConnectionWatch m_watch; // outlives the pool, whose connections call it
    std::unique_ptr<CURLSH, CurlShareDeleter> m_share;
    std::unique_ptr<MultiDriver> m_driver;
    CurlEasy m_easy; // after the share and the pool, so it goes first
    std::unique_ptr<Operation> m_op;
    std::optional<Pending> m_pending;
    Login m_login;
    QTimer *m_waitTimer;          // an operation's wait (IDLETEST's)
    QTimer *m_keepaliveTimer;     // the next keepalive, while the login is idle
    QElapsedTimer m_sinceRequest; // since the last operation on the login ended
    int m_keepaliveMs;
    bool m_keepaliveRunning = false;
    std::optional<OperationOrder> m_kept;   // the last order on the kept login
    std::optional<OperationOrder> m_queued; // a command that came during a keepalive
    QString m_loginGone;                    // why the last login went, for the next command's log
    std::map<QString, ServerTrust> m_trust; // by "host:port", for this session
};
