#pragma once

#include "engine/login_probe.h"
#include "engine/socket_registry.h"

#include <QByteArray>
#include <QString>

#include <curl/curl.h>

#include <memory>
#include <set>

class MultiDriver;
class ReportQueue;

// What a finished TLS handshake tells, read from the TLS library itself.
struct TlsHandshake
{
    QString protection; // "TLS 1.2"
    QString cipher;
    bool resumed = false;   // the session of an earlier connection was resumed
    QByteArray certificate; // the server's certificate, DER
};

// The running operation's side of its connections.
class ConnectionListener
{
public:
    virtual ~ConnectionListener() = default;
    enum class Socket { Refused, Control, Data };
    // A socket to `address` ("host:port") is about to connect: what it is for.
    virtual Socket socketOpening(const QString &address) = 0;
    virtual void tlsStarted() = 0;
    virtual void tlsEstablished(const TlsHandshake &handshake) = 0;
};

// The connections of the engine's login. libcurl keeps a pooled connection,
// and calls the socket and TLS callbacks it was opened with, after the
// operation that opened it has ended; so those callbacks come here, to an
// object that lives as long as the engine, and go on to the running
// operation only while there is one.
class ConnectionWatch final
{
    Q_DISABLE_COPY_MOVE(ConnectionWatch)
public:
    ConnectionWatch(std::shared_ptr<SocketRegistry> sockets, ReportQueue &reports);

    void setDriver(MultiDriver *driver) { m_driver = driver; }
    void setListener(ConnectionListener *listener) { m_listener = listener; }
    // Sets the socket and TLS callbacks into `easy`.
    void install(CURL *easy);
    // Cuts the open connections, so that closing them waits for nothing.
    void cutOpen() { m_sockets->cutOpen(); }
    // Sends what the open connections owe of acknowledgements now.
    void acknowledgeAll() { m_sockets->acknowledgeAll(); }
    // How the login's own connection stands; Open when there is none to look at.
    LoginProbe probeLogin() const;

private:
    static curl_socket_t onOpenSocket(void *userp, curlsocktype, curl_sockaddr *address);
    static int onCloseSocket(void *userp, curl_socket_t socket);
    static CURLcode onSslContext(CURL *, void *context, void *userp);
    static void onTlsInfo(const struct ssl_st *ssl, int where, int);

    std::shared_ptr<SocketRegistry> m_sockets;
    ReportQueue &m_reports;
    MultiDriver *m_driver = nullptr;
    ConnectionListener *m_listener = nullptr;
    // The login's own connection: while it is being made, possibly one
    // socket per address tried.
    std::set<curl_socket_t> m_control;
};
