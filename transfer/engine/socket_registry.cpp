#include "engine/socket_registry.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

void SocketRegistry::opened(curl_socket_t socket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.insert(socket);
    if (m_cut)
        ::shutdown(socket, SHUT_RDWR);
}

void SocketRegistry::close(curl_socket_t socket)
{
    // Under the lock, so shutdownAll never reaches a descriptor number that
    // has been closed and handed out again.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.erase(socket);
    ::close(socket);
}

bool SocketRegistry::isOpen(curl_socket_t socket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sockets.count(socket) > 0;
}

void SocketRegistry::acknowledgeAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int on = 1;
    for (curl_socket_t socket : m_sockets)
        ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

void SocketRegistry::cutOpen()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (curl_socket_t socket : m_sockets)
        ::shutdown(socket, SHUT_RDWR);
}

void SocketRegistry::shutdownAll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cut = true;
    for (curl_socket_t socket : m_sockets)
        ::shutdown(socket, SHUT_RDWR);
}
