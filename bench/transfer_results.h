#pragma once

#include "bench_figures.h"
#include "transfer_clients.h"

#include <QStringList>

enum class Direction { Download, Upload };

// A series: this many small files fetched on one login.
inline constexpr int SeriesFiles = 200;
qint64 seriesFileSize(Protocol protocol);

// What the transfer benchmark measured over one protocol, and the figures it
// makes of it, each against its target.
class TransferResults final
{
public:
    TransferResults(Protocol protocol, qint64 size) : m_protocol(protocol), m_size(size) {}

    // A large file moved whole by `client`.
    void addTransfer(Direction direction, Client client, const Timing &timing);
    // A whole series fetched by `client`.
    void addSeries(Client client, const Timing &timing);
    void addFailure(const QString &failure) { m_failures << failure; }

    // Each series' mean time per file, which takes in the odd long wait the
    // median leaves out.
    void printSeries(const QList<Client> &clients) const;
    // Prints the medians of `clients` and the figures; 0 when nothing failed.
    int report(const QList<Client> &clients) const;

private:
    void printClientTable(const QList<Client> &clients) const;
    void addRateFigures(std::vector<Figure> &figures) const;
    void addSeriesFigure(std::vector<Figure> &figures) const;

    Protocol m_protocol;
    qint64 m_size;
    std::map<std::pair<Direction, Client>, std::vector<double>> m_rates;     // MiB/s
    std::map<std::pair<Direction, Client>, std::vector<double>> m_cpuPerGiB; // s
    double m_longestGapMs = 0;
    std::map<Client, std::vector<double>> m_perFileMs;    // every file of every series
    std::map<Client, std::vector<double>> m_seriesMeanMs; // each series' wall time per file
    std::map<Client, std::vector<double>> m_seriesCpu;    // s per series
    QStringList m_failures;
};
