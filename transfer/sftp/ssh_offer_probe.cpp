#include "sftp/ssh_offer_probe.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <cstring>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr qsizetype MaxOfferBytes = 512 * 1024;
const char ProbeVersion[] = "SSH-2.0-Sarvel\r\n";

class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Waits for `events` on `fd` until `deadline`.
bool await(int fd, short events, const QDeadlineTimer &deadline)
{
    pollfd wanted{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&wanted, 1, int(deadline.remainingTime()));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

std::optional<SshOfferReading> probe(const sockaddr_storage &peer, socklen_t length, int timeoutMs)
{
    const Descriptor connection(
        ::socket(peer.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (connection.fd() < 0)
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    if (::connect(connection.fd(), reinterpret_cast<const sockaddr *>(&peer), length) != 0) {
        int error = 0;
        socklen_t size = sizeof error;
        if (errno != EINPROGRESS || !await(connection.fd(), POLLOUT, deadline) ||
            ::getsockopt(connection.fd(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            return std::nullopt;
    }
    if (::send(connection.fd(), ProbeVersion, sizeof ProbeVersion - 1, MSG_NOSIGNAL) !=
        ssize_t(sizeof ProbeVersion - 1))
        return std::nullopt;
    QByteArray received;
    char buffer[16384];
    while (received.size() < MaxOfferBytes && await(connection.fd(), POLLIN, deadline)) {
        const ssize_t got = ::recv(connection.fd(), buffer, sizeof buffer, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            break;
        received.append(buffer, got);
        const SshOfferReading reading = readSshOffer(received);
        if (reading.status != SshOfferReading::Status::NeedMore)
            return reading;
    }
    return std::nullopt;
}

} // namespace

std::optional<SshOfferReading> probeSshOffer(int connectedSocket, int timeoutMs)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(connectedSocket, reinterpret_cast<sockaddr *>(&peer), &length) != 0)
        return std::nullopt;
    return probe(peer, length, timeoutMs);
}

std::optional<SshOfferReading> probeSshOffer(const QString &ip, int port, int timeoutMs)
{
    addrinfo wanted{};
    wanted.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    wanted.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(ip.toLatin1().constData(), QByteArray::number(port).constData(), &wanted,
                      &found) != 0)
        return std::nullopt;
    sockaddr_storage peer{};
    const socklen_t length = found->ai_addrlen;
    std::memcpy(&peer, found->ai_addr, length);
    ::freeaddrinfo(found);
    return probe(peer, length, timeoutMs);
}
