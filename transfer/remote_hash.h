#pragma once

#include "engine/stepwise_operation.h"
#include "text/protocol/ftp_hash.h"

// HASH: a remote file's hash, and whether a local file matches it. On FTP
// the server computes it where its FEAT reply offers a way (HASH, else
// XSHA256, XSHA1, XMD5 or XCRC); otherwise, and on SFTP, it is computed here from
// a read-back of the file, hashed as it arrives and kept nowhere.
class RemoteHash final : public StepwiseOperation
{
public:
    RemoteHash(OperationOrder order, const OperationContext &context, OperationFactory make);

private:
    enum class Phase { Features, ServerHash, ReadBack };

    OperationStep next(OperationOutcome outcome) override;
    OperationStep readBack();
    OperationStep answer(OperationOutcome outcome, const QString &algorithm, const QString &hex,
                         qint64 readBack);

    QString m_remote;
    QString m_local; // empty: no comparison
    HashCommand m_hash;
    Phase m_phase = Phase::Features;
    FileDigest m_readBack{QStringLiteral("SHA-256")}; // of the read-back, as it arrives
    qint64 m_readBackSize = 0;
};
