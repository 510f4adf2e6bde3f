#pragma once

#include "transfer_clients.h"
#include "transfer_results.h"

#include <functional>

// FTP through a SOCKS5 proxy (microsocks on loopback): the component's large
// download and upload direct and through the proxy, and the curl tool's
// through the same proxy, in rotating order; then the series of small
// downloads on one login, the component's and the curl tool's through the
// proxy, where each connection's set-up weighs most. The medians, the ratio
// of the component through the proxy to its direct rate and to the curl
// tool's through the proxy. `moved` runs one transfer, `series` the small
// downloads; each checks what it left behind and says whether it stands.
// Returns 0 when every figure was met and nothing failed.
using ProxiedTransfer =
    std::function<bool(Direction direction, Client client, const Endpoint &server, Timing &timing)>;
using ProxiedSeries = std::function<bool(Client client, const Endpoint &server, Timing &timing)>;
int measureThroughProxy(const Endpoint &direct, qint64 size, int rounds,
                        const ProxiedTransfer &moved, const ProxiedSeries &series);
