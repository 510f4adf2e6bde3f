#pragma once

#include <QString>

// What a finished SSH key exchange settled with the server: its version
// string and the algorithms both sides chose.
struct SshSessionFacts
{
    QString serverVersion; // "SSH-2.0-OpenSSH_9.2p1 Debian-2+deb12u3", printable
    QString keyExchange;   // "curve25519-sha256"
    QString hostKey;       // "ecdsa-sha2-nistp256"
    QString cipher;        // client to server: "aes128-ctr"
    QString mac;           // client to server: "hmac-sha2-256"
};

// A server's version string as it may be shown: every character that does
// not print (a terminal escape, say) as "?".
QString printableSshVersion(const char *version);
