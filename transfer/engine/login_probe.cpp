#include "engine/login_probe.h"

#include <QByteArray>

#include <cctype>
#include <cerrno>

#include <poll.h>
#include <sys/socket.h>

namespace {

// The first line of what came in, when it reads as a server's reply in
// clear text ("421 Timeout."); an encrypted farewell shows as nothing.
QString firstTextLine(const char *data, qsizetype length)
{
    const QByteArray bytes(data, length);
    const QByteArray line =
        bytes.left(bytes.indexOf('\r') < 0 ? bytes.indexOf('\n') : bytes.indexOf('\r'));
    if (line.size() < 3 || !std::isdigit(uchar(line[0])) || !std::isdigit(uchar(line[1])) ||
        !std::isdigit(uchar(line[2])))
        return {};
    for (const char c : line)
        if (c < 0x20 || c > 0x7e)
            return {};
    return QString::fromLatin1(line);
}

} // namespace

LoginProbe probeSocket(curl_socket_t socket)
{
    LoginProbe probe;
    pollfd watch{socket, POLLIN | POLLRDHUP, 0};
    if (::poll(&watch, 1, 0) <= 0)
        return probe;
    const bool hungUp = (watch.revents & (POLLRDHUP | POLLHUP)) != 0;
    char data[512];
    const ssize_t length = ::recv(socket, data, sizeof data, MSG_PEEK | MSG_DONTWAIT);
    if (length > 0) {
        // Encrypted bytes may be no farewell at all (an SSH server's own
        // keepalive, a late window adjustment): only a connection the server
        // has also closed counts as ended.
        probe.said = firstTextLine(data, qsizetype(length));
        if (!probe.said.isEmpty())
            probe.kind = LoginProbe::Kind::Said;
        else if (hungUp)
            probe.kind = LoginProbe::Kind::Closed;
    } else if (length == 0) {
        probe.kind = LoginProbe::Kind::Closed;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        probe.kind = LoginProbe::Kind::Reset;
    }
    return probe;
}

QString loginProbeText(const LoginProbe &probe)
{
    switch (probe.kind) {
    case LoginProbe::Kind::Said:
        return QStringLiteral("the server said \"%1\"").arg(probe.said);
    case LoginProbe::Kind::Closed:
        return QStringLiteral("the server closed the connection without a word");
    case LoginProbe::Kind::Reset:
        return QStringLiteral("the connection was reset");
    case LoginProbe::Kind::Open:
        break;
    }
    return {};
}
