#include "remote_hash.h"

#include "engine/report_queue.h"
#include "local_path.h"
#include "text/failure_text.h"
#include "text/remote_hash_text.h"

#include <QFile>

#include <stdexcept>

RemoteHash::RemoteHash(OperationOrder order, const OperationContext &context, OperationFactory make)
    : StepwiseOperation(std::move(order), context, std::move(make))
{
    const QStringList &args = this->order().command.args;
    m_remote = args.at(0);
    if (args.size() > 1) {
        m_local = localPath(args.at(1));
        QFile local(m_local);
        if (!local.open(QIODevice::ReadOnly))
            throw std::runtime_error(
                localFileFailure(LocalAction::Read, m_local, local.errorString()).toStdString());
    }
    if (this->order().protocol == TransferProtocol::Sftp) {
        readBack();
        return;
    }
    // A refusal of FEAT only means that nothing is offered.
    begin(TransferCommand{TransferVerb::Quote, {QStringLiteral("*FEAT")}});
}

OperationStep RemoteHash::readBack()
{
    m_phase = Phase::ReadBack;
    // The step, which holds the sink, goes before this object does.
    return begin(TransferCommand{TransferVerb::Get, {m_remote}}, 0, {},
                 [this](QByteArrayView data) {
                     m_readBack.add(data);
                     m_readBackSize += data.size();
                 });
}

OperationStep RemoteHash::next(OperationOutcome outcome)
{
    switch (m_phase) {
    case Phase::Features: {
        // The commands take names in the current folder only.
        const bool here = !m_remote.contains(QLatin1Char('/'));
        m_hash = reports().replyCode() == 211 && here
                     ? hashCommand(reports().replyText().split(QLatin1Char('\n')))
                     : HashCommand{};
        if (m_hash.command.isEmpty())
            return readBack();
        m_phase = Phase::ServerHash;
        // "*": a refusal leaves the read-back to tell.
        QStringList commands{QLatin1Char('*') + m_hash.command + QLatin1Char(' ') + m_remote};
        if (!m_hash.select.isEmpty())
            commands.prepend(QLatin1Char('*') + m_hash.select);
        return begin(TransferCommand{TransferVerb::Quote, commands});
    }
    case Phase::ServerHash: {
        const QString hex = replyDigest(m_hash, reports().replyText(), -1);
        if (hex.isEmpty())
            return readBack();
        return answer(std::move(outcome), m_hash.algorithm, hex, -1);
    }
    case Phase::ReadBack:
        break;
    }
    return answer(std::move(outcome), m_readBack.algorithm(), m_readBack.hex(), m_readBackSize);
}

OperationStep RemoteHash::answer(OperationOutcome outcome, const QString &algorithm,
                                 const QString &hex, qint64 readBack)
{
    outcome.retrieved.reset();
    outcome.times.bytes = -1;
    const QString remote = remoteHashText(algorithm, hex, readBack);
    if (m_local.isEmpty()) {
        outcome.summary = remote;
        return end(std::move(outcome));
    }
    QFile local(m_local);
    const QString localHex =
        local.open(QIODevice::ReadOnly) ? localDigest(algorithm, local) : QString();
    if (localHex.isEmpty())
        return end(std::move(outcome),
                   QStringLiteral("%1; %2 could not be hashed with it").arg(remote, m_local));
    const bool match = localHex == hex;
    const QString text = hashMatchText(remote, m_local, match, localHex);
    if (!match)
        return end(std::move(outcome), text);
    outcome.summary = text;
    return end(std::move(outcome));
}
