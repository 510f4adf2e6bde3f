#include "engine/connection_watch.h"

#include "engine/curl_handles.h"
#include "engine/multi_driver.h"
#include "engine/report_queue.h"
#include "engine/tls_trust.h"
#include "text/operator_log.h"

#include <QHostAddress>

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <netinet/in.h>
#include <sys/socket.h>

namespace {

// Where a TLS context keeps the watch, for the handshake callbacks.
int watchIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

QString addressOf(const curl_sockaddr *address)
{
    int port = 0;
    if (address->family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in *>(&address->addr)->sin_port);
    else if (address->family == AF_INET6)
        port = ntohs(reinterpret_cast<const sockaddr_in6 *>(&address->addr)->sin6_port);
    return addressText(QHostAddress(&address->addr).toString(), port);
}

TlsHandshake handshakeOf(const SSL *ssl)
{
    TlsHandshake handshake;
    handshake.protection = protectionName(SSL_get_version(ssl));
    handshake.cipher = QString::fromLatin1(SSL_get_cipher_name(ssl));
    handshake.resumed = SSL_session_reused(ssl) == 1;
    if (X509 *certificate = SSL_get1_peer_certificate(ssl)) {
        unsigned char *der = nullptr;
        const int length = i2d_X509(certificate, &der);
        if (length > 0)
            handshake.certificate = QByteArray(reinterpret_cast<const char *>(der), length);
        OPENSSL_free(der);
        X509_free(certificate);
    }
    return handshake;
}

} // namespace

ConnectionWatch::ConnectionWatch(std::shared_ptr<SocketRegistry> sockets, ReportQueue &reports)
    : m_sockets(std::move(sockets)), m_reports(reports)
{}

void ConnectionWatch::install(CURL *easy)
{
    setOption(easy, CURLOPT_OPENSOCKETFUNCTION, &ConnectionWatch::onOpenSocket);
    setOption(easy, CURLOPT_OPENSOCKETDATA, this);
    setOption(easy, CURLOPT_CLOSESOCKETFUNCTION, &ConnectionWatch::onCloseSocket);
    setOption(easy, CURLOPT_CLOSESOCKETDATA, this);
    setOption(easy, CURLOPT_SSL_CTX_FUNCTION, &ConnectionWatch::onSslContext);
    setOption(easy, CURLOPT_SSL_CTX_DATA, this);
}

curl_socket_t ConnectionWatch::onOpenSocket(void *userp, curlsocktype, curl_sockaddr *address)
{
    auto *self = static_cast<ConnectionWatch *>(userp);
    const curl_socket_t socket =
        ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (socket == CURL_SOCKET_BAD)
        return socket;
    self->m_sockets->opened(socket);
    const auto use = self->m_listener ? self->m_listener->socketOpening(addressOf(address))
                                      : ConnectionListener::Socket::Data;
    if (use == ConnectionListener::Socket::Refused) {
        self->m_sockets->close(socket);
        return CURL_SOCKET_BAD;
    }
    if (use == ConnectionListener::Socket::Control)
        self->m_control.insert(socket);
    return socket;
}

int ConnectionWatch::onCloseSocket(void *userp, curl_socket_t socket)
{
    auto *self = static_cast<ConnectionWatch *>(userp);
    if (self->m_driver)
        self->m_driver->forget(socket);
    self->m_sockets->close(socket);
    if (self->m_control.erase(socket) && self->m_control.empty()) {
        self->m_reports.protocol(ProtocolEvent::Kind::Info, QStringLiteral("Connection closed"));
    }
    return 0;
}

LoginProbe ConnectionWatch::probeLogin() const
{
    // Once the login stands, its one connection is all that is left here.
    if (m_control.size() != 1)
        return {};
    return probeSocket(*m_control.begin());
}

// libcurl makes a TLS context for each connection, data connections included,
// and hands it here before the handshake.
CURLcode ConnectionWatch::onSslContext(CURL *, void *context, void *userp)
{
    auto *ssl = static_cast<SSL_CTX *>(context);
    SSL_CTX_set_ex_data(ssl, watchIndex(), userp);
    SSL_CTX_set_info_callback(ssl, &ConnectionWatch::onTlsInfo);
    return CURLE_OK;
}

void ConnectionWatch::onTlsInfo(const SSL *ssl, int where, int)
{
    auto *self =
        static_cast<ConnectionWatch *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), watchIndex()));
    if (!self || !self->m_listener)
        return;
    if (where & SSL_CB_HANDSHAKE_START)
        self->m_listener->tlsStarted();
    if (where & SSL_CB_HANDSHAKE_DONE)
        self->m_listener->tlsEstablished(handshakeOf(ssl));
}
