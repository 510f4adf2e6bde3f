#pragma once

#include <QString>

#include <optional>

// What a finished SSH key exchange settled with the server: its version
// string and the algorithms both sides chose. libcurl hands none of these
// over, so they are read from libssh2's session the moment its handshake
// ends (see ssh_session_facts.cpp).
struct SshSessionFacts
{
    QString serverVersion; // "SSH-2.0-OpenSSH_9.2p1 Debian-2+deb12u3", printable
    QString keyExchange;   // "curve25519-sha256"
    QString hostKey;       // "ecdsa-sha2-nistp256"
    QString cipher;        // client to server: "aes128-ctr"
    QString mac;           // client to server: "hmac-sha2-256"
};

// The facts of the latest SSH handshake finished on this thread, handed over
// once: libcurl checks the host key right after the handshake, in the same
// call, so the host-key callback takes the facts of its own connection.
std::optional<SshSessionFacts> takeSshSessionFacts();

// A server's version string as it may be shown: every character that does
// not print (a terminal escape, say) as "?".
QString printableSshVersion(const char *version);
