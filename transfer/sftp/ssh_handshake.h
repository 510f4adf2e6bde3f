#pragma once

#include "text/protocol/ssh_offer.h"
#include "text/protocol/ssh_session_facts.h"

#include <optional>

// libcurl hands none of an SSH key exchange's facts over, so they are read
// from libssh2's session the moment its handshake ends (ssh_handshake.cpp).

// The facts of the latest SSH handshake finished on this thread, handed over
// once: libcurl checks the host key right after the handshake, in the same
// call, so the host-key callback takes the facts of its own connection.
std::optional<SshSessionFacts> takeSshSessionFacts();

// The offers of the latest SSH key exchange on this thread that failed,
// handed over once, where the server's offer could be read.
std::optional<SshNegotiation> takeSshNegotiation();

// Whether a failed key exchange on this thread may read the server's offer
// on a connection of its own to the peer; not through a proxy, where the
// peer is the proxy. On until said otherwise.
void allowSshOfferProbe(bool allowed);

// Whether libssh2's own handshake function, which this program's calls in
// turn, can be found; without it no SSH login can work.
bool sshHandshakeReachable();
