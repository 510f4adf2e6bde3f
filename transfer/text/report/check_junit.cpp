// The terminal check as a JUnit XML report, which Jenkins, GitLab and
// GitHub read: each run a testsuite, each step a testcase.
#include "text/report/check_formats.h"

#include "text/report/report_writing.h"

#include <QXmlStreamWriter>

#include <algorithm>

namespace {

qsizetype countOf(const SiteCheckReport &report, SiteCheckResult result)
{
    return std::count_if(
        report.steps.begin(), report.steps.end(),
        [result](const SiteCheckStep &step) { return step.outcome.result == result; });
}

void testCase(QXmlStreamWriter &xml, const SiteCheckStep &step)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"), xmlText(siteCheckStepTitle(step.id)));
    xml.writeAttribute(QStringLiteral("classname"), QStringLiteral("sarvel.check"));
    xml.writeAttribute(QStringLiteral("time"), junitSeconds(step.elapsedMs));
    const SiteCheckOutcome &outcome = step.outcome;
    switch (outcome.result) {
    case SiteCheckResult::Fail: {
        xml.writeStartElement(QStringLiteral("failure"));
        xml.writeAttribute(QStringLiteral("message"),
                           xmlText(outcome.hint.isEmpty() ? outcome.detail : outcome.hint));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("fail"));
        QString text = outcome.detail;
        if (step.replyCode != 0 || !step.replyText.isEmpty())
            text += QStringLiteral("\nServer reply: %1 %2").arg(step.replyCode).arg(step.replyText);
        xml.writeCharacters(xmlText(text));
        xml.writeEndElement();
        break;
    }
    case SiteCheckResult::Skipped:
        xml.writeEmptyElement(QStringLiteral("skipped"));
        xml.writeAttribute(QStringLiteral("message"), xmlText(outcome.detail));
        break;
    case SiteCheckResult::Warning:
        xml.writeTextElement(
            QStringLiteral("system-out"),
            xmlText(QStringLiteral("warning: %1\nHint: %2").arg(outcome.detail, outcome.hint)));
        break;
    case SiteCheckResult::Pass:
        xml.writeTextElement(QStringLiteral("system-out"), xmlText(outcome.detail));
        break;
    }
    xml.writeEndElement();
}

} // namespace

QByteArray junitOutput(const QList<SiteCheckReport> &runs)
{
    QByteArray document;
    QXmlStreamWriter xml(&document);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("sarvel --check"));
    qsizetype tests = 0, failures = 0, skipped = 0;
    qint64 totalMs = 0;
    for (const SiteCheckReport &run : runs) {
        tests += run.steps.size();
        failures += countOf(run, SiteCheckResult::Fail);
        skipped += countOf(run, SiteCheckResult::Skipped);
        totalMs += std::max<qint64>(0, run.durationMs);
    }
    xml.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
    xml.writeAttribute(QStringLiteral("time"), junitSeconds(totalMs));
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const SiteCheckReport &run = runs.at(i);
        xml.writeStartElement(QStringLiteral("testsuite"));
        xml.writeAttribute(QStringLiteral("name"), runs.size() == 1
                                                       ? xmlText(run.target)
                                                       : xmlText(QStringLiteral("%1 (run %2 of %3)")
                                                                     .arg(run.target)
                                                                     .arg(i + 1)
                                                                     .arg(runs.size())));
        xml.writeAttribute(QStringLiteral("tests"), QString::number(run.steps.size()));
        xml.writeAttribute(QStringLiteral("failures"),
                           QString::number(countOf(run, SiteCheckResult::Fail)));
        xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
        xml.writeAttribute(QStringLiteral("skipped"),
                           QString::number(countOf(run, SiteCheckResult::Skipped)));
        xml.writeAttribute(QStringLiteral("time"), junitSeconds(run.durationMs));
        xml.writeAttribute(QStringLiteral("timestamp"),
                           run.started.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
        for (const SiteCheckStep &step : run.steps)
            testCase(xml, step);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return document;
}
