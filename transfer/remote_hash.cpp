#include "remote_hash.h"

#include "engine/report_queue.h"
#include "local_path.h"
#include "text/failure_text.h"

#include <QFile>

#include <stdexcept>

namespace {

// The hash of all `device` holds, read from its start; nothing on a read error.
std::optional<QByteArray> hashOf(QIODevice &device, QCryptographicHash::Algorithm algorithm)
{
    QCryptographicHash hash(algorithm);
    if (!device.seek(0) || !hash.addData(&device))
        return std::nullopt;
    return hash.result().toHex();
}

} // namespace

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
    return begin(TransferCommand{TransferVerb::Get, {m_remote}});
}

OperationStep RemoteHash::next(OperationOutcome outcome)
{
    switch (m_phase) {
    case Phase::Features: {
        const QString name = m_remote.mid(m_remote.lastIndexOf(QLatin1Char('/')) + 1);
        m_request = reports().replyCode() == 211
                        ? ftpHashRequest(ftpHashOffer(reports().replyText()), m_remote)
                        : std::nullopt;
        if (!m_request || name != m_remote)
            return readBack(); // the commands take names in the current folder only
        m_phase = Phase::ServerHash;
        return begin(TransferCommand{TransferVerb::Quote, m_request->commands});
    }
    case Phase::ServerHash: {
        const std::optional<QByteArray> hex =
            hashInReply(reports().replyCode(), reports().replyText(), m_request->hashCommand);
        if (!hex)
            return readBack();
        return answer(std::move(outcome), m_request->algorithm, *hex, -1);
    }
    case Phase::ReadBack:
        break;
    }
    const std::optional<QByteArray> hex =
        outcome.retrieved ? hashOf(*outcome.retrieved, QCryptographicHash::Sha256) : std::nullopt;
    if (!hex)
        return end(std::move(outcome),
                   QStringLiteral("The read-back of %1 could not be hashed").arg(m_remote));
    const qint64 read = outcome.retrieved->size();
    return answer(std::move(outcome), QStringLiteral("SHA-256"), *hex, read);
}

OperationStep RemoteHash::answer(OperationOutcome outcome, const QString &algorithm,
                                 const QByteArray &hex, qint64 readBack)
{
    outcome.retrieved.reset();
    outcome.times.bytes = -1;
    const QString remote = remoteHashText(algorithm, hex, readBack);
    if (m_local.isEmpty()) {
        outcome.summary = remote;
        return end(std::move(outcome));
    }
    QFile local(m_local);
    const std::optional<QCryptographicHash::Algorithm> kind = hashAlgorithm(algorithm);
    const std::optional<QByteArray> localHex =
        kind && local.open(QIODevice::ReadOnly) ? hashOf(local, *kind) : std::nullopt;
    if (!localHex)
        return end(std::move(outcome),
                   QStringLiteral("%1; %2 could not be hashed with it").arg(remote, m_local));
    const bool match = *localHex == hex;
    const QString text = hashMatchText(remote, m_local, match, *localHex);
    if (!match)
        return end(std::move(outcome), text);
    outcome.summary = text;
    return end(std::move(outcome));
}
