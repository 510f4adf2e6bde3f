#include "resume_download.h"

#include "text/resume_text.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

ResumeDownload::ResumeDownload(OperationOrder order, const OperationContext &context,
                               OperationFactory make)
    : StepwiseOperation(std::move(order), context, std::move(make))
{
    m_remote = this->order().command.args.at(0);
    m_local = resumeLocalPath(this->order().command);
    const QFileInfo partial(m_local);
    if (!partial.isFile())
        throw std::runtime_error(resumeMissingText(m_local).toStdString());
    m_localSize = partial.size();
    begin(TransferCommand{TransferVerb::Size, {m_remote}});
}

OperationStep ResumeDownload::next(OperationOutcome outcome)
{
    switch (m_phase) {
    case Phase::Size:
        return afterSize(std::move(outcome));
    case Phase::Compare:
        return afterCompare(std::move(outcome));
    case Phase::Fetch:
        break;
    }
    const qint64 whole = QFileInfo(m_local).size();
    if (whole != m_remoteSize)
        return end(std::move(outcome), resumeSizeText(m_local, whole, m_remoteSize));
    return end(std::move(outcome));
}

OperationStep ResumeDownload::afterSize(OperationOutcome outcome)
{
    bool known = false;
    m_remoteSize =
        outcome.retrieved ? outcome.retrieved->readAll().trimmed().toLongLong(&known) : -1;
    if (!known || m_remoteSize < 0)
        return end(std::move(outcome),
                   QStringLiteral("The server did not say the size of %1, which a resumed "
                                  "download needs")
                       .arg(m_remote));
    if (m_localSize > m_remoteSize)
        return end(std::move(outcome), resumeLargerText(m_local, m_localSize, m_remoteSize));
    if (m_localSize == 0) {
        m_phase = Phase::Fetch;
        return begin(TransferCommand{TransferVerb::Get, {m_remote, m_local}});
    }
    const qint64 from = qMax<qint64>(0, m_localSize - ResumeOverlap);
    QFile partial(m_local);
    if (!partial.open(QIODevice::ReadOnly) || !partial.seek(from))
        return end(std::move(outcome), resumeMissingText(m_local));
    m_tail = partial.read(m_localSize - from);
    m_phase = Phase::Compare;
    return begin(TransferCommand{TransferVerb::Get, {m_remote}}, 0,
                 QByteArray::number(from) + '-' + QByteArray::number(m_localSize - 1));
}

OperationStep ResumeDownload::afterCompare(OperationOutcome outcome)
{
    const QByteArray served = outcome.retrieved ? outcome.retrieved->readAll() : QByteArray();
    if (served.size() != m_tail.size())
        return end(std::move(outcome), resumeShortReadText(m_local, m_tail.size(), served.size()));
    const qint64 differs = firstDifference(m_tail, served);
    if (differs >= 0)
        return end(std::move(outcome),
                   resumeMismatchText(m_local, m_localSize - m_tail.size() + differs));
    if (m_localSize == m_remoteSize) {
        outcome.summary = resumeWholeText(m_local, m_localSize, m_tail.size());
        outcome.retrieved.reset();
        outcome.times.bytes = 0;
        return end(std::move(outcome));
    }
    m_phase = Phase::Fetch;
    return begin(TransferCommand{TransferVerb::Get, {m_remote, m_local}}, m_localSize);
}
