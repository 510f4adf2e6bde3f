#pragma once

#include "engine/connection_watch.h"
#include "engine/local_files.h"
#include "engine/operation.h"

#include <QByteArrayView>

// What every operation on the engine's handle shares, so that an operation
// is only what is particular to it: its order; the handle, which it leaves
// pointing at nothing of its own when it ends or cannot start (a throw from
// a derived constructor runs this destructor too); the error buffer; the
// connection watch's listener; and libcurl's reply and debug callbacks,
// which reach the operation as replyHeader and debugOutput.
class CurlOperation : public Operation, public ConnectionListener
{
    Q_DISABLE_COPY_MOVE(CurlOperation)
public:
    ~CurlOperation() override;

    CURL *easy() const final { return m_easy; }
    const OperationOrder &order() const final { return m_order; }
    void tlsStarted() override {}
    void tlsEstablished(const TlsHandshake &) override {}

protected:
    CurlOperation(OperationOrder order, const OperationContext &context);

    // Sets the emptied error buffer, the reply and debug callbacks and the
    // connection watch's callbacks into the handle, for the next request.
    void installCallbacks();
    // libcurl's own words for the last request's failure; empty when none.
    QString errorDetail() const { return QString::fromUtf8(m_errorBuffer); }
    // The sentence for a failure of the proxy the order goes through,
    // rather than of the server; nothing without a proxy, or when the
    // server failed.
    std::optional<QString> proxyFailure(CURLcode result) const;
    // Says in the log that the operator stopped the operation.
    void sayStopped();
    // What a TLS failure of the request under `check` leads to: a second
    // attempt or a question for the operator; nothing when it was no TLS
    // failure.
    std::optional<OperationStep> tlsStep(CURLcode result, TlsSettings::Check check,
                                         const QString &checkFailure,
                                         const ServerTrust &trust) const;
    // The step that runs the request now set into the handle.
    static OperationStep continued();

    // One header line of a server's reply, line end included; false ends
    // the request (libcurl takes a short count as the end).
    virtual bool replyHeader(QByteArrayView line) = 0;
    // libcurl's verbose output: what was sent and received, and its remarks.
    virtual void debugOutput(curl_infotype type, QByteArrayView data) = 0;

    OperationOrder m_order;
    ReportQueue &m_reports;
    ConnectionWatch &m_watch;
    CURL *const m_easy;

private:
    // They run inside libcurl calls on the engine's thread, so what they
    // reach only records and queues: calling libcurl from here would fail
    // (CURLM_RECURSIVE_API_CALL), and reports wait for the flush that follows
    // every call into libcurl.
    static size_t onHeader(char *data, size_t size, size_t count, void *userp);
    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp);

    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    ProxyTunnelTalk m_tunnel;
};

// A transfer's part, as the order names it (see OperationOrder): a resumed
// upload appends what is left of the local file to the server's.
void setTransferPart(CURL *easy, const OperationOrder &order);

// The end of a command's data, the same whatever the protocol: an upload must
// be on the server whole (`serverSize`, when the server said it, against
// the local file's size), a download becomes the local file only when all
// went well and is discarded otherwise, and SIZE and PWD leave `answer` for
// GetChunk. Returns whether the command stands; `outcome` gets the failure
// and what GetChunk reads.
bool concludeData(OperationOutcome &outcome, bool ok, LocalFiles &files, qint64 serverSize,
                  const QString &uploadPath, TransferVerb verb, const QByteArray &answer);
