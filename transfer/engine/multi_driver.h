#pragma once

#include <QObject>
#include <QTimer>

#include <curl/curl.h>

#include <functional>
#include <memory>
#include <unordered_map>

class QSocketNotifier;

// Drives a libcurl multi handle from the Qt event loop of the thread it lives
// on: one socket notifier per socket and direction, and one timer, in the
// shape of curl's multi-socket examples. Knows nothing of FTP; it hands each
// finished transfer to `done`, and calls `afterAction` after every call into
// libcurl, when it is safe to act on what the callbacks collected.
class MultiDriver final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MultiDriver)
public:
    using DoneHandler = std::function<void(CURL *easy, CURLcode result)>;

    using ConnectionTest = std::function<bool(curl_socket_t socket)>;

    // `isConnection` tells a connection's socket from libcurl's other
    // descriptors, which it closes on its own without a word.
    MultiDriver(DoneHandler done, std::function<void()> afterAction, ConnectionTest isConnection);
    ~MultiDriver() override;

    void add(CURL *easy);
    void remove(CURL *easy);
    // libcurl is about to close `socket`.
    void forget(curl_socket_t socket);
    // Closes every pooled connection (libcurl says QUIT on each) and starts
    // with an empty pool.
    void reset();

private:
    struct SocketWatch
    {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };

    void create();
    void destroy();
    void socketAction(curl_socket_t socket, int events);
    void kick();
    void watchForStall(int running);
    void collectDone();
    static int onSocket(CURL *, curl_socket_t socket, int what, void *userp, void *);
    static int onTimer(CURLM *, long timeoutMs, void *userp);

    DoneHandler m_done;
    std::function<void()> m_afterAction;
    ConnectionTest m_isConnection;
    CURLM *m_multi = nullptr;
    QTimer m_timer;
    QTimer m_stallTimer;
    int m_stallDelayMs = 0;
    std::unordered_map<curl_socket_t, SocketWatch> m_sockets;
    // Open sockets libcurl has stopped watching, watched here for replies it
    // would otherwise miss (see kick).
    std::unordered_map<curl_socket_t, std::unique_ptr<QSocketNotifier>> m_dormant;
};
