#pragma once

#include <curl/curl.h>

#include <mutex>
#include <set>

// The sockets libcurl has open, so that shutting down can cut them from any
// thread: a server that never answers QUIT then cannot hold the program.
class SocketRegistry final
{
public:
    void opened(curl_socket_t socket);
    void close(curl_socket_t socket);
    // A connection this program opened and has not closed yet; not one of
    // libcurl's own descriptors (its name resolver's wake-up pair).
    bool isOpen(curl_socket_t socket);
    // Has every open connection acknowledge what it received at once.
    void acknowledgeAll();
    // Cuts every open socket, so that nothing waits on them any more.
    void cutOpen();
    // Cuts every socket, and every one opened from now on.
    void shutdownAll();

private:
    std::mutex m_mutex;
    bool m_cut = false;
    std::set<curl_socket_t> m_sockets;
};
