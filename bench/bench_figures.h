#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <vector>

// The figures a benchmark reports, and the medians behind them.

// The middle value, or the mean of the two middle ones; 0 when there are none.
double median(std::vector<double> values);

// The median of the values under `key`; 0 when there are none.
template <typename Key>
double medianAt(const std::map<Key, std::vector<double>> &values, const Key &key)
{
    const auto found = values.find(key);
    return found == values.end() ? 0 : median(found->second);
}

// What was measured, against its target.
struct Figure
{
    QString name;
    QString measured;
    QString target;
    bool met = false;
};

// Prints the figures as a table, each "met" or "NOT met", then each failure
// once, with how often it happened.
void printFigures(const std::vector<Figure> &figures, const QStringList &failures);
