#include "resume_transfer.h"

#include "text/resume_text.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

ResumeTransfer::ResumeTransfer(OperationOrder order, const OperationContext &context,
                               OperationFactory make)
    : StepwiseOperation(std::move(order), context, std::move(make)),
      m_upload(this->order().command.verb == TransferVerb::Reput)
{
    const TransferCommand &command = this->order().command;
    m_remote = resumeRemoteName(command);
    m_local = resumeLocalPath(command);
    const QFileInfo local(m_local);
    if (!local.isFile())
        throw std::runtime_error(resumeMissingText(m_local, m_upload).toStdString());
    m_localSize = local.size();
    begin(TransferCommand{TransferVerb::Size, {m_remote}});
}

OperationStep ResumeTransfer::next(OperationOutcome outcome)
{
    switch (m_phase) {
    case Phase::Size:
        return afterSize(std::move(outcome));
    case Phase::Compare:
        return afterCompare(std::move(outcome));
    case Phase::Transfer:
        break;
    }
    // An upload's own step has checked the server's size against the file.
    const qint64 whole = QFileInfo(m_local).size();
    if (!m_upload && whole != m_remoteSize)
        return end(std::move(outcome), resumeSizeText(m_local, whole, m_remoteSize));
    return end(std::move(outcome));
}

OperationStep ResumeTransfer::afterSize(OperationOutcome outcome)
{
    bool known = false;
    m_remoteSize =
        outcome.retrieved ? outcome.retrieved->readAll().trimmed().toLongLong(&known) : -1;
    if (!known || m_remoteSize < 0)
        return end(std::move(outcome), resumeNoSizeText(m_remote));
    m_partial = m_upload ? m_remoteSize : m_localSize;
    const qint64 whole = m_upload ? m_localSize : m_remoteSize;
    if (m_partial > whole)
        return end(std::move(outcome),
                   resumeLargerText(m_local, m_remote, m_localSize, m_remoteSize, m_upload));
    if (m_partial == 0)
        return transferRest();
    const qint64 from = qMax<qint64>(0, m_partial - ResumeOverlap);
    QFile local(m_local);
    if (!local.open(QIODevice::ReadOnly) || !local.seek(from))
        return end(std::move(outcome), resumeMissingText(m_local, m_upload));
    m_tail = local.read(m_partial - from);
    m_phase = Phase::Compare;
    return begin(TransferCommand{TransferVerb::Get, {m_remote}}, 0,
                 QByteArray::number(from) + '-' + QByteArray::number(m_partial - 1));
}

OperationStep ResumeTransfer::afterCompare(OperationOutcome outcome)
{
    const QByteArray served = outcome.retrieved ? outcome.retrieved->readAll() : QByteArray();
    outcome.retrieved.reset();
    if (served.size() != m_tail.size())
        return end(std::move(outcome), resumeShortReadText(m_local, m_tail.size(), served.size()));
    const qint64 differs = firstDifference(m_tail, served);
    if (differs >= 0)
        return end(
            std::move(outcome),
            resumeMismatchText(m_local, m_remote, m_partial - m_tail.size() + differs, m_upload));
    if (m_localSize == m_remoteSize) {
        outcome.summary = resumeWholeText(m_upload ? m_remote : m_local, m_partial, m_tail.size());
        outcome.times.bytes = 0;
        return end(std::move(outcome));
    }
    return transferRest();
}

OperationStep ResumeTransfer::transferRest()
{
    m_phase = Phase::Transfer;
    if (m_upload)
        return begin(TransferCommand{TransferVerb::Put, {m_local, m_remote}}, m_partial);
    return begin(TransferCommand{TransferVerb::Get, {m_remote, m_local}}, m_partial);
}
