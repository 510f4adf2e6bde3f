// The soak's summary for a terminal, a script, Nagios, Prometheus and JUnit.
#include "text/report/soak_formats.h"

#include "text/report/report_writing.h"

#include <QJsonDocument>
#include <QXmlStreamWriter>

namespace {

QByteArray nagios(const SoakDocument &soak, const SoakSummary &summary)
{
    const bool ok = soakExitCode(soak.rounds) == CheckOk;
    QString status = QStringLiteral("SARVEL %1 - %2: soak %3")
                         .arg(ok ? QStringLiteral("OK") : QStringLiteral("CRITICAL"), soak.target,
                              soakSummaryLine(summary));
    if (!summary.failures.isEmpty())
        status += QStringLiteral("; ") + soakFailureLine(summary.failures.first());
    QStringList perf;
    for (const CheckSpread &phase : summary.phases)
        perf << perfDatum(phase.name, perfSeconds(phase.p50), phase.p50 < 0 ? QString() : ";;;0");
    perf << perfDatum(QStringLiteral("rounds_failed"), QString::number(summary.failed),
                      QStringLiteral(";;;0;%1").arg(summary.rounds));
    for (const CheckSpread &rate : {summary.uploadRate, summary.readBackRate})
        if (rate.count > 0)
            perf << perfDatum(rate.name, QString::number(rate.p50, 'f', 0), QStringLiteral(";;;0"));
    QStringList lines{pluginText(status) + QStringLiteral(" | ") + perf.join(QLatin1Char(' '))};
    for (const SoakRound &round : soak.rounds)
        if (!round.passed())
            lines << pluginText(soakRoundLine(round));
    return lines.join(QLatin1Char('\n')).toUtf8() + '\n';
}

QByteArray prometheus(const SoakDocument &soak, const SoakSummary &summary)
{
    Exposition out(soak.target);
    out.metric("sarvel_soak_success", "Whether every round of the soak passed (1) or not (0).");
    out.series({}, soakExitCode(soak.rounds) == CheckOk ? 1 : 0);
    out.metric("sarvel_soak_rounds", "How many rounds of the soak came out each way.");
    out.series({{QStringLiteral("result"), QStringLiteral("pass")}}, summary.passed);
    out.series({{QStringLiteral("result"), QStringLiteral("fail")}}, summary.failed);
    out.metric("sarvel_soak_phase_failures", "How many rounds failed in each phase.");
    for (int p = 0; p < SoakPhaseCount; ++p) {
        int count = 0;
        for (const SoakFailureCount &failure : summary.failures)
            count += failure.phase == SoakPhase(p) ? failure.count : 0;
        out.series({{QStringLiteral("phase"), soakPhaseKey(SoakPhase(p))}}, count);
    }
    out.metric("sarvel_soak_phase_duration_seconds",
               "How long each phase of the soak's rounds took, in seconds.");
    for (const CheckSpread &phase : summary.phases)
        out.quantiles({{QStringLiteral("phase"), phase.name}}, phase);
    if (summary.uploadRate.count > 0) {
        out.metric("sarvel_soak_upload_bytes_per_second",
                   "The rate the rounds' files were uploaded at, in bytes per second.");
        out.quantiles({}, summary.uploadRate);
    }
    if (summary.readBackRate.count > 0) {
        out.metric("sarvel_soak_read_back_bytes_per_second",
                   "The rate the rounds' files were read back at, in bytes per second.");
        out.quantiles({}, summary.readBackRate);
    }
    return out.text();
}

qint64 roundMs(const SoakRound &round)
{
    qint64 micros = 0;
    for (qint64 phase : round.micros)
        micros += qMax<qint64>(0, phase);
    return micros / 1000;
}

QByteArray junit(const SoakDocument &soak, const SoakSummary &summary)
{
    QByteArray document;
    QXmlStreamWriter xml(&document);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("sarvel --soak"));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(summary.rounds));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(summary.failed));
    xml.writeAttribute(QStringLiteral("time"), junitSeconds(soak.durationMs));
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), xmlText(soak.target));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(summary.rounds));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(summary.failed));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("skipped"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("time"), junitSeconds(soak.durationMs));
    xml.writeAttribute(QStringLiteral("timestamp"),
                       soak.started.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    for (const SoakRound &round : soak.rounds) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("name"), soakRoundName(round));
        xml.writeAttribute(QStringLiteral("classname"), QStringLiteral("sarvel.soak"));
        xml.writeAttribute(QStringLiteral("time"), junitSeconds(roundMs(round)));
        if (!round.passed()) {
            xml.writeStartElement(QStringLiteral("failure"));
            xml.writeAttribute(QStringLiteral("message"),
                               xmlText(QStringLiteral("%1: %2").arg(soakPhaseName(*round.failedIn),
                                                                    round.reason)));
            xml.writeAttribute(QStringLiteral("type"), soakPhaseKey(*round.failedIn));
            xml.writeCharacters(xmlText(soakRoundLine(round)));
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return document;
}

} // namespace

CheckExitCode soakExitCode(const QList<SoakRound> &rounds)
{
    if (rounds.isEmpty())
        return CheckCritical;
    for (const SoakRound &round : rounds)
        if (!round.passed())
            return CheckCritical;
    return CheckOk;
}

QByteArray soakOutput(CheckFormat format, const SoakDocument &soak,
                      const CheckOutputContext &context)
{
    const SoakSummary summary = summarizeSoak(soak.rounds);
    switch (format) {
    case CheckFormat::Text:
        break;
    case CheckFormat::Json: {
        QJsonObject json = soakJson(soak.target, summary, soak.rounds);
        json.insert(QStringLiteral("started"), soak.started.toUTC().toString(Qt::ISODate));
        json.insert(QStringLiteral("libcurl"), context.libcurlVersion);
        if (!context.programVersion.isEmpty())
            json.insert(QStringLiteral("program"), context.programVersion);
        return QJsonDocument(json).toJson(QJsonDocument::Indented);
    }
    case CheckFormat::Nagios:
        return nagios(soak, summary);
    case CheckFormat::Prometheus:
        return prometheus(soak, summary);
    case CheckFormat::Junit:
        return junit(soak, summary);
    }
    return visibleLines(soakSummaryLines(soak.target, summary, soak.rounds));
}
