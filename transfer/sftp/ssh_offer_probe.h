#pragma once

#include "text/protocol/ssh_offer.h"

#include <optional>

// What the server behind an SSH connection offers, read on a connection of
// its own to the same address: this program's version line goes out, the
// server's version line and key-exchange offer come back, and the
// connection is closed. Nothing of the account is sent. Waits at most
// `timeoutMs`; nothing when the server could not be read in that time.
constexpr int SshOfferTimeoutMs = 3000;
std::optional<SshOfferReading> probeSshOffer(int connectedSocket, int timeoutMs);

// The same, at the numeric address `ip` ("127.0.0.1", "::1") and `port`.
std::optional<SshOfferReading> probeSshOffer(const QString &ip, int port, int timeoutMs);
