#pragma once

#include "text/report/check_runs.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// The pieces the monitors' formats are written with, shared by the site
// check's report and the soak's.

// Lines for a terminal: their control characters made visible.
QByteArray visibleLines(const QStringList &lines);

// Text for a Nagios plugin's output: one line, no "|" (which starts the
// performance data), control characters visible.
QString pluginText(QString text);
// Seconds with "." for the decimals whatever the locale, and the "s" unit;
// "U" for a value not measured.
QString perfSeconds(double value);
// One datum of the performance data: "'label'=value;warn;crit;min;max".
QString perfDatum(const QString &label, const QString &value, const QString &thresholds = {});

// Prometheus' text exposition format (0.0.4): gauges, each with its HELP
// and TYPE, every series labelled with the target.
class Exposition
{
public:
    using Labels = QList<std::pair<QString, QString>>;

    explicit Exposition(const QString &target) : m_target(target) {}

    // A metric's HELP and TYPE lines, before its series.
    void metric(const char *name, const char *help);
    // A series of the last metric, the target among its labels.
    void series(const Labels &labels, double value);
    // p50, p95 and max as quantiles 0.5, 0.95 and 1; nothing for a spread
    // that measured nothing.
    void quantiles(Labels labels, const CheckSpread &spread);
    QByteArray text() const { return m_lines.join(QLatin1Char('\n')).toUtf8() + '\n'; }

private:
    QString m_target;
    QString m_name;
    QStringList m_lines;
};

// Text XML 1.0 may hold: control characters (but line feeds), the
// non-characters U+FFFE and U+FFFF and lone surrogates written as visible
// escapes.
QString xmlText(const QString &text);
// Milliseconds as JUnit's seconds, "0.000" for none.
QString junitSeconds(qint64 ms);
