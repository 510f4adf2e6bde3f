#pragma once

// The facade's inner side: what CurlTransfer keeps between commands, and
// the passing of orders to the engine's thread and of its reports back.

#include "curl_transfer.h"
#include "engine/engine_messages.h"
#include "engine/tls_trust.h"
#include "text/idle_text.h"
#include "text/retrieved_data.h"
#include "text/transfer_command.h"

#include <QThread>

#include <deque>
#include <functional>
#include <memory>

class SocketRegistry;
class TransferEngine;

// A line break or NUL in a setting would end an FTP command early and start
// another one of the server's choosing.
bool breaksCommandLine(const QString &text);

class CurlTransfer::Private
{
public:
    explicit Private(CurlTransfer *q);
    ~Private();

    OperationOrder order(const TransferCommand &command) const;
    void post(std::function<void(TransferEngine &)> job);
    void receive(EngineReports &&reports);
    void answer(bool ok, const QString &text);
    void refuse(const QString &message);
    void setTimeout(const TransferCommand &command);
    void setKeepalive(const TransferCommand &command);
    void setProxy(const TransferCommand &command);
    // The proxy of a command to a site over `protocol`: the operator's, or
    // else the environment's.
    std::optional<ProxyAddress> proxyFor(TransferProtocol protocol) const;
    void flush();

    CurlTransfer *q;
    QThread m_thread;
    std::shared_ptr<SocketRegistry> m_sockets = std::make_shared<SocketRegistry>();
    TransferEngine *m_engine = nullptr;

    QString m_url;
    QString m_user;
    QString m_password;
    int m_timeoutSeconds = DefaultTimeoutSeconds;
    int m_keepaliveSeconds = DefaultKeepaliveSeconds; // 0: off
    // The operator's proxy once PROXY or setProxy has spoken; until then
    // the environment's, for FTP and FTPS sites and for SFTP sites.
    std::optional<ProxyAddress> m_proxy;
    bool m_proxyChosen = false;
    std::optional<EnvironmentProxy> m_environmentFtp;
    std::optional<EnvironmentProxy> m_environmentOther;
    CertificateLimits m_certificateLimits;
    SoakSettings m_soak;
    bool m_newLogin = false;
    RemoteFolder m_folder;
    bool m_executing = false;
    std::function<bool(const QString &)> m_isLocalHost = isLoopbackHost;

    // Reports go out one at a time; a listener that spins the event loop may
    // bring more, which queue behind and go out from the outer loop, in order.
    std::deque<EngineReport> m_reports;
    bool m_flushing = false;
    // What ResponseCode/ResponseInfo show: the reply behind the report being sent.
    qint32 m_shownCode = 0;
    QString m_shownInfo;
    RetrievedData m_retrieved;
};
