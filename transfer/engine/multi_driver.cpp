#include "engine/multi_driver.h"

#include "engine/curl_handles.h"

#include <QSocketNotifier>

#include <stdexcept>
#include <vector>

MultiDriver::MultiDriver(DoneHandler done, std::function<void()> afterAction,
                         ConnectionTest isConnection)
    : m_done(std::move(done)), m_afterAction(std::move(afterAction)),
      m_isConnection(std::move(isConnection))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { socketAction(CURL_SOCKET_TIMEOUT, 0); });
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, &MultiDriver::kick);
    create();
}

MultiDriver::~MultiDriver()
{
    destroy();
}

void MultiDriver::create()
{
    m_multi = curl_multi_init();
    if (!m_multi)
        throw CurlFault("libcurl could not make a multi handle");
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &MultiDriver::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &MultiDriver::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    // The pool holds the one login of the current site.
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, 1L);
}

void MultiDriver::destroy()
{
    if (!m_multi)
        return;
    curl_multi_cleanup(m_multi);
    m_multi = nullptr;
    m_sockets.clear();
    m_dormant.clear();
    m_timer.stop();
    m_stallTimer.stop();
}

void MultiDriver::reset()
{
    destroy();
    create();
}

void MultiDriver::add(CURL *easy)
{
    const CURLMcode result = curl_multi_add_handle(m_multi, easy);
    if (result != CURLM_OK)
        throw CurlFault(std::string("libcurl could not start the request: ") +
                        curl_multi_strerror(result));
}

void MultiDriver::remove(CURL *easy)
{
    curl_multi_remove_handle(m_multi, easy);
}

void MultiDriver::forget(curl_socket_t socket)
{
    m_sockets.erase(socket);
    m_dormant.erase(socket);
}

void MultiDriver::socketAction(curl_socket_t socket, int events)
{
    if (!m_multi)
        return;
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    collectDone();
    for (auto &[dormant, notifier] : m_dormant)
        notifier->setEnabled(true);
    m_stallDelayMs = 0;
    watchForStall(running);
    m_afterAction();
}

// libcurl 7.88 can also leave a transfer with no socket to watch and no
// timer that would start its next step (the data connection of an FTP
// operation on a reused login): nothing would happen until the connect
// time-out. While transfers run and libcurl watches nothing, they are run
// after a short while, less often the longer nothing comes of it.
void MultiDriver::watchForStall(int running)
{
    if (running == 0 || !m_sockets.empty()) {
        m_stallTimer.stop();
        return;
    }
    // At once the first time, then less and less often.
    m_stallTimer.start(m_stallDelayMs);
    m_stallDelayMs = qBound(1, m_stallDelayMs * 2, 100);
}

// While a TLS data connection's handshake is under way, libcurl 7.88 watches
// only that socket, yet its next step may need a reply on the control
// connection, and a server such as vsftpd completes the handshake only after
// the command that reply leads to: each side waits for the other. A reply on
// a socket libcurl has set aside therefore runs the transfers on the sockets
// it does watch. The notifier rests until libcurl next acts, so a socket
// whose data libcurl leaves unread cannot spin the loop.
void MultiDriver::kick()
{
    for (auto &[socket, notifier] : m_dormant)
        notifier->setEnabled(false);
    if (!m_multi)
        return;
    int running = 0;
    // The one call that runs every transfer, whatever its timers, and then
    // tells the socket callback what each waits for; curl_multi_perform
    // would leave the socket callback uninformed.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    curl_multi_socket_all(m_multi, &running);
    QT_WARNING_POP
    collectDone();
    watchForStall(running);
    m_afterAction();
}

void MultiDriver::collectDone()
{
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &left))
        if (message->msg == CURLMSG_DONE)
            m_done(message->easy_handle, message->data.result);
}

int MultiDriver::onSocket(CURL *, curl_socket_t socket, int what, void *userp, void *)
{
    auto *self = static_cast<MultiDriver *>(userp);
    if (what == CURL_POLL_REMOVE) {
        // At once, not later: libcurl may hand out the same descriptor for the
        // next connection straight away.
        self->m_sockets.erase(socket);
        // Only a connection may bring a reply; a descriptor such as the name
        // resolver's is closed by libcurl without the close-socket callback,
        // and a notifier left on it would watch a closed (or reused) number.
        if (!self->m_isConnection(socket))
            return 0;
        auto notifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
        connect(notifier.get(), &QSocketNotifier::activated, self, [self] { self->kick(); });
        self->m_dormant[socket] = std::move(notifier);
        return 0;
    }
    self->m_dormant.erase(socket);
    SocketWatch &watch = self->m_sockets[socket];
    const auto watchFor = [&](std::unique_ptr<QSocketNotifier> &notifier,
                              QSocketNotifier::Type type, int event, bool wanted) {
        if (!wanted) {
            notifier.reset();
            return;
        }
        if (notifier)
            return;
        notifier = std::make_unique<QSocketNotifier>(socket, type);
        connect(notifier.get(), &QSocketNotifier::activated, self,
                [self, socket, event] { self->socketAction(socket, event); });
    };
    watchFor(watch.read, QSocketNotifier::Read, CURL_CSELECT_IN,
             what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    watchFor(watch.write, QSocketNotifier::Write, CURL_CSELECT_OUT,
             what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
    return 0;
}

int MultiDriver::onTimer(CURLM *, long timeoutMs, void *userp)
{
    auto *self = static_cast<MultiDriver *>(userp);
    // Never call back into libcurl from here: a zero time-out only arms the timer.
    if (timeoutMs < 0)
        self->m_timer.stop();
    else
        self->m_timer.start(int(timeoutMs));
    return 0;
}
