#pragma once

#include "engine/curl_operation.h"
#include "engine/local_files.h"
#include "engine/operation.h"
#include "engine/tls_trust.h"
#include "ftp/ftp_conversation.h"
#include "ftp/request_builder.h"
#include "text/operator_log.h"
#include "text/protocol/ftp_hash.h"

#include <QElapsedTimer>

#include <memory>
#include <optional>

class ReportQueue;

// One FTP command from start to end. It owns all that libcurl points at
// while it runs (the prepared request with its command lists, the error
// buffer, the local file), is the data of every callback of its handle, and
// holds where it stands as one phase. Its destructor leaves the handle
// pointing at nothing of its own.
class FtpOperation final : public CurlOperation
{
    Q_DISABLE_COPY_MOVE(FtpOperation)
public:
    // Sets the order into the handle, opens the local file (throws
    // std::runtime_error with the operator's sentence when it cannot) and
    // says that the operation starts.
    FtpOperation(OperationOrder order, const OperationContext &context);

    // Notices a connection that has come up.
    void afterAction() override;
    OperationStep done(CURLcode result) override;
    OperationOutcome stop() override;

    Socket socketOpening(const QString &address) override;
    void tlsStarted() override;
    void tlsEstablished(const TlsHandshake &handshake) override;

private:
    bool failedLocally() const { return !m_files.failure().isEmpty() || !m_replyError.isEmpty(); }
    OperationOutcome conclude(CURLcode result);
    OperationOutcome finish(bool ok, const QString &failure);
    QString describeFailure(CURLcode result) const;
    qint64 bytesMoved() const;
    FileDigest *sentDigest();

    static size_t onWrite(char *data, size_t size, size_t count, void *userp);
    static size_t onRead(char *data, size_t size, size_t count, void *userp);
    bool replyHeader(QByteArrayView line) override;
    void debugOutput(curl_infotype type, QByteArrayView data) override;
    static int onProgress(void *userp, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                          curl_off_t ulNow);

    TlsSettings::Check m_tlsCheck;
    QString m_checkFailure; // why the certificate check failed before this probe
    ServerTrust m_trust;
    bool m_announceUtf8;
    FtpConversation m_talk;
    PreparedRequest m_request;
    LocalFiles m_files;
    QString m_replyError; // a reply past the assembler's limits
    QElapsedTimer m_sinceProgress;
    // What a checked upload has sent, by the hash FEAT offers; chosen when
    // the first data goes out, FEAT's reply being in by then.
    std::optional<FileDigest> m_sent;
    bool m_sentChosen = false;
};
