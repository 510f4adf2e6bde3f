#include "sftp/ssh_handshake.h"

#include "sftp/ssh_offer_probe.h"

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
thread_local std::optional<SshNegotiation> failedNegotiation;
thread_local bool offerProbeAllowed = true;

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

QStringList supported(LIBSSH2_SESSION *session, int type)
{
    const char **names = nullptr;
    const int count = libssh2_session_supported_algs(session, type, &names);
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QString::fromLatin1(names[i]);
    if (count > 0)
        libssh2_free(session, names);
    return list;
}

// libssh2 says no more than "Unable to exchange encryption keys" when the
// server and it have no algorithm of a kind in common; the server's offer,
// read on a connection of its own, tells which.
void readNegotiation(LIBSSH2_SESSION *session, libssh2_socket_t socket)
{
    if (!offerProbeAllowed)
        return;
    const std::optional<SshOfferReading> offer = probeSshOffer(socket, SshOfferTimeoutMs);
    if (!offer || offer->status != SshOfferReading::Status::Complete)
        return;
    SshNegotiation negotiation;
    negotiation.serverVersion = offer->version;
    negotiation.server = offer->offer;
    negotiation.ours.keyExchange = supported(session, LIBSSH2_METHOD_KEX);
    negotiation.ours.hostKey = supported(session, LIBSSH2_METHOD_HOSTKEY);
    negotiation.ours.cipher = supported(session, LIBSSH2_METHOD_CRYPT_CS);
    negotiation.ours.mac = supported(session, LIBSSH2_METHOD_MAC_CS);
    negotiation.ours.compression = supported(session, LIBSSH2_METHOD_COMP_CS);
    negotiation.library = QStringLiteral("libssh2 %1").arg(QLatin1String(libssh2_version(0)));
    failedNegotiation = negotiation;
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
    } else if (result == LIBSSH2_ERROR_KEX_FAILURE || result == LIBSSH2_ERROR_METHOD_NONE) {
        readNegotiation(session, socket);
    }
    return result;
}

void allowSshOfferProbe(bool allowed)
{
    offerProbeAllowed = allowed;
}

bool sshHandshakeReachable()
{
    return libraryHandshake() != nullptr;
}

std::optional<SshNegotiation> takeSshNegotiation()
{
    return std::exchange(failedNegotiation, std::nullopt);
}

std::optional<SshSessionFacts> takeSshSessionFacts()
{
    return std::exchange(latest, std::nullopt);
}
