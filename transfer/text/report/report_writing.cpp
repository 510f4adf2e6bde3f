#include "text/report/report_writing.h"

#include "text/visible_controls.h"

#include <algorithm>

namespace {

// A label's value as the exposition format writes it: backslash, double
// quote and line feed escaped.
QString labelValue(QString value)
{
    return value.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

} // namespace

QByteArray visibleLines(const QStringList &lines)
{
    QByteArray text;
    for (const QString &line : lines)
        text += withVisibleControls(line).toUtf8() + '\n';
    return text;
}

QString pluginText(QString text)
{
    text.replace(QLatin1Char('|'), QLatin1Char('/'));
    return withVisibleControls(text.replace(QLatin1Char('\r'), QLatin1Char(' '))
                                   .replace(QLatin1Char('\n'), QLatin1Char(' ')));
}

QString perfSeconds(double value)
{
    return value < 0 ? QStringLiteral("U") : QString::number(value, 'f', 3) + QLatin1Char('s');
}

QString perfDatum(const QString &label, const QString &value, const QString &thresholds)
{
    return QStringLiteral("'%1'=%2%3").arg(label, value, thresholds);
}

void Exposition::metric(const char *name, const char *help)
{
    m_name = QLatin1String(name);
    m_lines << QStringLiteral("# HELP %1 %2").arg(m_name, QLatin1String(help))
            << QStringLiteral("# TYPE %1 gauge").arg(m_name);
}

void Exposition::series(const Labels &labels, double value)
{
    QStringList pairs{QStringLiteral("target=\"%1\"").arg(labelValue(m_target))};
    for (const auto &[label, text] : labels)
        pairs << QStringLiteral("%1=\"%2\"").arg(label, labelValue(text));
    m_lines << QStringLiteral("%1{%2} %3")
                   .arg(m_name, pairs.join(QLatin1Char(',')), QString::number(value, 'g', 12));
}

void Exposition::quantiles(Labels labels, const CheckSpread &spread)
{
    if (spread.count == 0)
        return;
    const std::pair<const char *, double> values[] = {
        {"0.5", spread.p50}, {"0.95", spread.p95}, {"1", spread.max}};
    labels << std::pair{QStringLiteral("quantile"), QString()};
    for (const auto &[quantile, value] : values) {
        labels.last().second = QLatin1String(quantile);
        series(labels, value);
    }
}

QString xmlText(const QString &text)
{
    QString safe;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype l = 0; l < lines.size(); ++l) {
        const QString line = withVisibleControls(lines.at(l));
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line.at(i);
            const bool paired =
                c.isHighSurrogate() && i + 1 < line.size() && line.at(i + 1).isLowSurrogate();
            if (paired) {
                safe += c;
                safe += line.at(++i);
            } else if (c.isSurrogate() || c.unicode() >= 0xfffe) {
                safe += QStringLiteral("\\u%1").arg(uint(c.unicode()), 4, 16, QLatin1Char('0'));
            } else {
                safe += c;
            }
        }
        if (l + 1 < lines.size())
            safe += QLatin1Char('\n');
    }
    return safe;
}

QString junitSeconds(qint64 ms)
{
    return QString::number(double(std::max<qint64>(0, ms)) / 1000.0, 'f', 3);
}
