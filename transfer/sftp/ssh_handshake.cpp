#include "sftp/ssh_handshake.h"

#include <libssh2.h>

#include <dlfcn.h>

#include <utility>

// libcurl runs libssh2's handshake and then keeps the session to itself. This
// program defines libssh2_session_handshake, and the dynamic linker binds
// libcurl's call to it (the link exports the name, see CMakeLists.txt); it
// calls libssh2's own and, once the key exchange is done, reads the server's
// version and the chosen algorithms from the session. Where libcurl runs on
// another SSH library the function is never called, and the facts stay
// unknown. The definition must stay visible to the dynamic linker (default
// visibility, and exported by the link) for libcurl's call to bind to it.

namespace {

thread_local std::optional<SshSessionFacts> latest;

using Handshake = int (*)(LIBSSH2_SESSION *, libssh2_socket_t);

Handshake libraryHandshake()
{
    static const auto handshake =
        reinterpret_cast<Handshake>(dlsym(RTLD_NEXT, "libssh2_session_handshake"));
    return handshake;
}

QString method(LIBSSH2_SESSION *session, int type)
{
    return QString::fromLatin1(libssh2_session_methods(session, type));
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
libssh2_session_handshake(LIBSSH2_SESSION *session, libssh2_socket_t socket)
{
    const Handshake handshake = libraryHandshake();
    // Without libssh2's own there is no handshake to make: the login fails,
    // and sshHandshakeReachable() tells the operation why.
    if (!handshake)
        return LIBSSH2_ERROR_SOCKET_NONE;
    const int result = handshake(session, socket);
    if (result == 0) {
        SshSessionFacts facts;
        facts.serverVersion = printableSshVersion(libssh2_session_banner_get(session));
        facts.keyExchange = method(session, LIBSSH2_METHOD_KEX);
        facts.hostKey = method(session, LIBSSH2_METHOD_HOSTKEY);
        facts.cipher = method(session, LIBSSH2_METHOD_CRYPT_CS);
        facts.mac = method(session, LIBSSH2_METHOD_MAC_CS);
        latest = facts;
    }
    return result;
}

bool sshHandshakeReachable()
{
    return libraryHandshake() != nullptr;
}

std::optional<SshSessionFacts> takeSshSessionFacts()
{
    return std::exchange(latest, std::nullopt);
}
