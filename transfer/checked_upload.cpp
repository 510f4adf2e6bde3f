#include "checked_upload.h"

#include "engine/report_queue.h"
#include "local_path.h"
#include "text/remote_hash_text.h"
#include "text/state_text.h"

#include <QFileInfo>

namespace {

OperationOrder checked(OperationOrder order)
{
    order.checkUpload = true;
    return order;
}

} // namespace

CheckedUpload::CheckedUpload(OperationOrder order, const OperationContext &context,
                             OperationFactory make)
    : StepwiseOperation(checked(std::move(order)), context, std::move(make)),
      m_remote(uploadRemoteName(this->order().command))
{
    begin(this->order().command);
}

bool CheckedUpload::checks(const OperationOrder &order)
{
    return order.command.verb == TransferVerb::Put && order.protocol == TransferProtocol::Ftp &&
           !order.checkUpload && !order.memoryData && order.resumeFrom == 0 &&
           order.range.isEmpty() && !uploadRemoteName(order.command).contains(QLatin1Char('/'));
}

OperationStep CheckedUpload::next(OperationOutcome outcome)
{
    if (!m_upload) {
        m_hash = hashCommand(outcome.features);
        if (m_hash.command.isEmpty() || outcome.sentDigest.isEmpty())
            return end(std::move(outcome));
        m_size = QFileInfo(localPath(order().command.args.at(0))).size();
        m_uploadReply = reports().replyText();
        m_upload = std::move(outcome);
        // "*": a refusal leaves the upload to stand on its size.
        QStringList commands{QLatin1Char('*') + m_hash.command + QLatin1Char(' ') + m_remote};
        if (!m_hash.select.isEmpty())
            commands.prepend(QLatin1Char('*') + m_hash.select);
        return begin(TransferCommand{TransferVerb::Quote, commands});
    }
    // The upload's outcome stands for the whole, its timing and bytes with it.
    OperationOutcome upload = std::move(*m_upload);
    const QString server = replyDigest(m_hash, reports().replyText(), m_size);
    if (server.isEmpty()) {
        upload.summary = m_uploadReply;
        return end(std::move(upload));
    }
    if (server != upload.sentDigest)
        return end(std::move(upload),
                   uploadDiffersText(m_remote, m_hash.algorithm, server, upload.sentDigest));
    upload.summary = uploadCheckedText(m_remote, m_size, m_hash.algorithm);
    return end(std::move(upload));
}
