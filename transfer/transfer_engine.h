#pragma once

#include "curl_handles.h"
#include "engine_messages.h"
#include "request_builder.h"
#include "socket_registry.h"
#include "tls_trust.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <curl/curl.h>

class MultiDriver;

// The transfer work on a thread of its own: the libcurl multi handle, its
// sockets and timer, and every file a transfer reads or writes. Called only on
// its own thread (the facade posts to it); everything it has to say goes out
// through the report sink, in order, in batches.
class TransferEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransferEngine)
public:
    using ReportSink = std::function<void(EngineReports &&reports)>;

    TransferEngine(ReportSink sink, std::shared_ptr<SocketRegistry> sockets, QThread *reportThread);
    ~TransferEngine() override;

    void start(const EngineRequest &request);
    // Stops the running operation, if any, with "Stopped by the operator".
    void abort();
    // CLOSE: says QUIT on the pooled login and forgets it.
    void close();
    // The operator's answer to the question the running operation waits for.
    void answerTrust(bool trusted);
    // Before the thread ends: drops the running operation and the pool.
    void shutdown();

private:
    struct Operation;
    struct CurlShareDeleter
    {
        void operator()(CURLSH *share) const { curl_share_cleanup(share); }
    };
    // An operation waiting for the operator, and what it asked.
    struct Pending
    {
        EngineRequest request;
        TrustQuestion question;
        QByteArray pin;
    };

    MultiDriver &driver();
    void begin(const EngineRequest &request,
               TlsSettings::Check check = TlsSettings::Check::Authorities,
               const QString &verifyFailure = {});
    TlsSettings tlsFor(const EngineRequest &request, TlsSettings::Check check);
    bool retryOrAsk(CURLcode result);
    void askAboutCertificate();
    void ask(const EngineRequest &request, TrustQuestion question, const QByteArray &pin = {});
    void setProtection(const QString &protection);
    QString server(const EngineRequest &request) const;
    void openFiles(Operation &op);
    void finish(CURL *easy, CURLcode result);
    void complete(bool ok, const QString &error);
    void fail(const QString &message);
    QString describeFailure(CURLcode result) const;
    void queueState(TransferState state);
    void queueProtocol(ProtocolEvent::Kind kind, const QString &text);
    void dataStarted();
    void replyLine(const QString &line);
    void flush();
    void handOver(EngineReport &report, std::unique_ptr<QIODevice> device);

    static size_t onWrite(char *data, size_t size, size_t count, void *userp);
    static size_t onRead(char *data, size_t size, size_t count, void *userp);
    static size_t onHeader(char *data, size_t size, size_t count, void *userp);
    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp);
    static int onProgress(void *userp, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                          curl_off_t ulNow);
    static curl_socket_t onOpenSocket(void *userp, curlsocktype, curl_sockaddr *address);
    static int onCloseSocket(void *userp, curl_socket_t socket);

    ReportSink m_sink;
    std::shared_ptr<SocketRegistry> m_sockets;
    QThread *m_reportThread;
    std::unique_ptr<MultiDriver> m_driver;
    std::unique_ptr<Operation> m_op;
    EngineReports m_reports;
    qint32 m_lastCode = 0;
    QString m_lastInfo;
    QString m_server;                       // "host:port", for messages
    std::map<QString, ServerTrust> m_trust; // by "host:port", for this session
    std::unique_ptr<CURLSH, CurlShareDeleter> m_share;
    CurlEasy m_easy; // declared after the share it uses, so it goes first
    std::optional<Pending> m_pending;
    QString m_protection; // of the pooled login
};
