#include "proxy_bench.h"

#include "bench_figures.h"
#include "proxy_processes.h"

#include <cstdio>
#include <map>

namespace {

// The component through the proxy against the curl tool through it, at least.
constexpr double CurlRatioTarget = 1.0;

enum class Route { ComponentDirect, ComponentProxied, CurlProxied };

struct RouteRow
{
    Route route;
    Client client;
    bool proxied;
    const char *name;
};
constexpr RouteRow Routes[] = {
    {Route::ComponentDirect, Client::Component, false, "component"},
    {Route::ComponentProxied, Client::Component, true, "component+socks"},
    {Route::CurlProxied, Client::CurlTool, true, "curl+socks"},
};

} // namespace

int measureThroughProxy(const Endpoint &direct, qint64 size, int rounds,
                        const ProxiedTransfer &moved, const ProxiedSeries &series)
{
    MicrosocksProcess socks;
    if (!socks.start()) {
        std::fprintf(stderr, "cannot start microsocks\n");
        return 1;
    }
    Endpoint proxied = direct;
    proxied.socks5 = socks.address();
    std::printf("FTP through microsocks on %s\n", qPrintable(socks.address()));
    const double mib = size / double(1 << 20);
    std::map<std::pair<Direction, Route>, std::vector<double>> rates;
    QStringList failures;
    for (const Direction direction : {Direction::Download, Direction::Upload}) {
        const char *way = direction == Direction::Download ? "down" : "up";
        for (int round = 0; round < rounds; ++round) {
            std::printf("round %d %-4s", round + 1, way);
            for (size_t k = 0; k < std::size(Routes); ++k) {
                const RouteRow &row = Routes[(size_t(round) + k) % std::size(Routes)];
                Timing timing;
                if (!moved(direction, row.client, row.proxied ? proxied : direct, timing)) {
                    failures << QStringLiteral("%1 %2: %3").arg(row.name, way, timing.error);
                    std::printf("  %-15s FAILED", row.name);
                    continue;
                }
                rates[{direction, row.route}].push_back(mib / timing.seconds);
                std::printf("  %-15s %7.1f MiB/s", row.name, mib / timing.seconds);
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    // Mean ms per file of each series, by client.
    std::map<Client, std::vector<double>> perFile;
    const Client seriesClients[] = {Client::Component, Client::CurlTool};
    for (int round = 0; round < rounds; ++round) {
        std::printf("round %d %d small files", round + 1, SeriesFiles);
        for (size_t k = 0; k < std::size(seriesClients); ++k) {
            const Client client = seriesClients[(size_t(round) + k) % std::size(seriesClients)];
            Timing timing;
            if (!series(client, proxied, timing)) {
                failures << QStringLiteral("%1 series: %2").arg(clientName(client), timing.error);
                std::printf("  %-15s FAILED", clientName(client));
                continue;
            }
            perFile[client].push_back(timing.seconds * 1000 / SeriesFiles);
            std::printf("  %s+socks %6.2f ms per file", clientName(client),
                        timing.seconds * 1000 / SeriesFiles);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::vector<Figure> figures;
    for (const Direction direction : {Direction::Download, Direction::Upload}) {
        const QString way = direction == Direction::Download ? "down" : "up";
        const double own = medianAt(rates, std::pair{direction, Route::ComponentProxied});
        const double plain = medianAt(rates, std::pair{direction, Route::ComponentDirect});
        const double curl = medianAt(rates, std::pair{direction, Route::CurlProxied});
        std::printf("FTP %s medians: component %.1f, component+socks %.1f, curl+socks %.1f MiB/s\n",
                    qPrintable(way), plain, own, curl);
        figures.push_back({QStringLiteral("FTP %1 through SOCKS5 / direct").arg(way),
                           QString::number(plain > 0 ? own / plain : 0, 'f', 2),
                           QStringLiteral("reported"), own > 0 && plain > 0});
        const double ratio = curl > 0 ? own / curl : 0;
        figures.push_back({QStringLiteral("FTP %1 through SOCKS5 / curl through it").arg(way),
                           QString::number(ratio, 'f', 2),
                           QStringLiteral(">= %1").arg(CurlRatioTarget, 0, 'f', 1),
                           ratio >= CurlRatioTarget});
    }
    const double ownMs = medianAt(perFile, Client::Component);
    const double curlMs = medianAt(perFile, Client::CurlTool);
    std::printf("%d small files through SOCKS5, median ms per file: component %.2f, curl %.2f\n",
                SeriesFiles, ownMs, curlMs);
    const double seriesRatio = curlMs > 0 ? ownMs / curlMs : 0;
    figures.push_back({QStringLiteral("FTP %1 small files through SOCKS5, ms per file / curl's")
                           .arg(SeriesFiles),
                       QStringLiteral("%1 / %2 = %3")
                           .arg(ownMs, 0, 'f', 2)
                           .arg(curlMs, 0, 'f', 2)
                           .arg(seriesRatio, 0, 'f', 2),
                       QStringLiteral("<= %1").arg(CurlRatioTarget, 0, 'f', 1),
                       ownMs > 0 && seriesRatio <= CurlRatioTarget});
    printFigures(figures, failures);
    const bool met = std::all_of(figures.begin(), figures.end(), [](auto &f) { return f.met; });
    return met && failures.isEmpty() ? 0 : 1;
}
