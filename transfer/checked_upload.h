#pragma once

#include "engine/stepwise_operation.h"
#include "text/protocol/ftp_hash.h"

#include <optional>

// PUT on FTP, checked by hash as well as by size where the server offers a
// hash: the upload asks FEAT first and hashes what it sends as it goes out
// (the local file is read once); then, on the same login, the server's hash
// of the stored file is asked for and compared. Where FEAT offers no hash,
// the upload stands on its size check alone and nothing more is sent.
class CheckedUpload final : public StepwiseOperation
{
public:
    CheckedUpload(OperationOrder order, const OperationContext &context, OperationFactory make);

    // Whether `order` is an upload to check so: FTP, the whole of a local
    // file, to a name in the current folder (the hash commands take no path).
    static bool checks(const OperationOrder &order);

private:
    OperationStep next(OperationOutcome outcome) override;

    QString m_remote;
    qint64 m_size = -1;
    HashCommand m_hash;
    std::optional<OperationOutcome> m_upload; // once it is done
    QString m_uploadReply;                    // the server's word on it
};
