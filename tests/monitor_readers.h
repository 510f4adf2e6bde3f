#pragma once

// The readers monitors use, to read what the terminal check prints: the
// Prometheus client library's own text parser, xmllint for JUnit XML, and
// the Nagios plugin grammar.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

struct ReaderRun
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// `program` with `arguments`, `input` on its standard input.
inline ReaderRun readWith(const QString &program, const QStringList &arguments,
                          const QByteArray &input)
{
    QProcess process;
    process.start(program, arguments);
    ReaderRun run;
    if (!process.waitForStarted(10000))
        return run;
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The metric families of `exposition` as prometheus_client's parser reads
// them: [{name, type, help, samples: [{name, labels, value}]}]. Empty when
// it refuses the text; `error` then says why.
inline QJsonArray prometheusFamilies(const QByteArray &exposition, QByteArray *error = nullptr)
{
    static const char Script[] =
        "import sys, json\n"
        "from prometheus_client.parser import text_string_to_metric_families\n"
        "out = []\n"
        "for f in text_string_to_metric_families(sys.stdin.read()):\n"
        "    out.append({'name': f.name, 'type': f.type, 'help': f.documentation,\n"
        "                'samples': [{'name': s.name, 'labels': s.labels, 'value': s.value}\n"
        "                            for s in f.samples]})\n"
        "print(json.dumps(out))\n";
    const ReaderRun run =
        readWith(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Script}, exposition);
    if (error)
        *error = run.err;
    return run.status == 0 ? QJsonDocument::fromJson(run.out).array() : QJsonArray();
}

// The samples of the family `name` among `families`.
inline QJsonArray prometheusSamples(const QJsonArray &families, const QString &name)
{
    for (const QJsonValue &family : families)
        if (family[QStringLiteral("name")] == name)
            return family[QStringLiteral("samples")].toArray();
    return {};
}

// The value of the first sample of the family `name` among `families`; -1
// when it has none.
inline double firstValue(const QJsonArray &families, const QString &name)
{
    const QJsonArray samples = prometheusSamples(families, name);
    return samples.isEmpty() ? -1 : samples.first()[QStringLiteral("value")].toDouble();
}

// Whether xmllint reads `xml` as well-formed; `error` says why not.
inline bool xmlWellFormed(const QByteArray &xml, QByteArray *error = nullptr)
{
    const ReaderRun run =
        readWith(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("-")}, xml);
    if (error)
        *error = run.err;
    return run.status == 0;
}

// What xmllint makes of the XPath `expression` over `xml`.
inline QString xpath(const QByteArray &xml, const QString &expression)
{
    return QString::fromUtf8(readWith(QStringLiteral("xmllint"),
                                      {QStringLiteral("--xpath"), expression, QStringLiteral("-")},
                                      xml)
                                 .out)
        .trimmed();
}

// A Nagios plugin's output read by the plugin API's grammar: the status
// word, the text, and each performance datum by label as
// [value, unit, warn, crit, min, max]. Empty status when the first line does
// not follow the grammar.
struct NagiosOutput
{
    QString status;
    QString text;
    QMap<QString, QStringList> perf;
    QStringList longOutput;
};

inline NagiosOutput readNagios(const QByteArray &output)
{
    static const QRegularExpression first(
        QStringLiteral("^SARVEL (OK|WARNING|CRITICAL|UNKNOWN) - ([^|]*) \\| (.*)$"));
    static const QRegularExpression datum(
        QStringLiteral("^'([^'=]+)'=(U|-?[0-9]+(?:\\.[0-9]+)?)(s|us|ms|%|B|KB|MB|TB|c)?"
                       "(?:;(-?[0-9.]*))?(?:;(-?[0-9.]*))?(?:;(-?[0-9.]*))?(?:;(-?[0-9.]*))?$"));
    NagiosOutput read;
    QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    if (lines.size() < 2 || !lines.last().isEmpty())
        return read;
    lines.removeLast();
    const QRegularExpressionMatch status = first.match(lines.takeFirst());
    if (!status.hasMatch())
        return read;
    for (const QString &item : status.captured(3).split(QLatin1Char(' '))) {
        const QRegularExpressionMatch m = datum.match(item);
        if (!m.hasMatch())
            return read;
        read.perf.insert(m.captured(1), {m.captured(2), m.captured(3), m.captured(4), m.captured(5),
                                         m.captured(6), m.captured(7)});
    }
    for (const QString &line : lines)
        if (line.contains(QLatin1Char('|')))
            return read;
    read.status = status.captured(1);
    read.text = status.captured(2);
    read.longOutput = lines;
    return read;
}
