#include "bench_figures.h"

#include <algorithm>
#include <cstdio>

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void printFigures(const std::vector<Figure> &figures, const QStringList &failures)
{
    std::printf("\n%-78s %-24s %-11s %s\n", "figure", "measured", "target", "");
    for (const Figure &figure : figures)
        std::printf("%-78s %-24s %-11s %s\n", qPrintable(figure.name), qPrintable(figure.measured),
                    qPrintable(figure.target), figure.met ? "met" : "NOT met");
    QStringList seen;
    for (const QString &failure : failures) {
        if (seen.contains(failure))
            continue;
        seen << failure;
        const auto times = failures.count(failure);
        std::printf("FAILED %s%s\n", qPrintable(failure),
                    times > 1 ? qPrintable(QStringLiteral(" (%1 times)").arg(times)) : "");
    }
}
