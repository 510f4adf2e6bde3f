#include "engine/curl_operation.h"

#include "engine/curl_handles.h"
#include "engine/report_queue.h"
#include "engine/tls_decision.h"
#include "text/failure_text.h"
#include "text/proxy_failure_text.h"

#include <cerrno>

#include <QBuffer>

CurlOperation::CurlOperation(OperationOrder order, const OperationContext &context)
    : m_order(std::move(order)), m_reports(context.reports), m_watch(context.watch),
      m_easy(context.easy)
{
    // No libcurl call runs while an operation is made, so nothing reaches it
    // half made.
    m_watch.setListener(this);
}

CurlOperation::~CurlOperation()
{
    m_watch.setListener(nullptr);
    curl_easy_reset(m_easy);
}

void CurlOperation::installCallbacks()
{
    m_errorBuffer[0] = 0;
    setOption(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
    setReplyCallbacks(m_easy, &CurlOperation::onHeader, &CurlOperation::onDebug, this);
    m_watch.install(m_easy);
}

void CurlOperation::sayStopped()
{
    m_reports.protocol(ProtocolEvent::Kind::Info, QLatin1String(StoppedText));
}

std::optional<QString> CurlOperation::proxyFailure(CURLcode result) const
{
    if (!m_order.proxy || result == CURLE_OK)
        return std::nullopt;
    ProxyFailureFacts facts;
    facts.result = result;
    facts.proxy = *m_order.proxy;
    facts.server = m_order.server();
    facts.detail = errorDetail();
    curl_easy_getinfo(m_easy, CURLINFO_PROXY_ERROR, &facts.proxyError);
    curl_easy_getinfo(m_easy, CURLINFO_HTTP_CONNECTCODE, &facts.connectCode);
    long osErrno = 0;
    facts.refused = curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osErrno) == CURLE_OK &&
                    osErrno == ECONNREFUSED;
    return proxyFailureText(facts);
}

std::optional<OperationStep> CurlOperation::tlsStep(CURLcode result, TlsSettings::Check check,
                                                    const QString &checkFailure,
                                                    const ServerTrust &trust) const
{
    TlsAttempt attempt;
    attempt.easy = m_easy;
    attempt.result = result;
    attempt.check = check;
    // Under implicit TLS a refused PROT P comes after the login went out
    // encrypted: there is no clear text to consent to, and the command fails.
    attempt.clearTextNeedsConsent = m_order.clearTextNeedsConsent && !m_order.implicitTls;
    attempt.detail = errorDetail();
    attempt.checkFailure = checkFailure;
    attempt.trust = trust;
    attempt.server = m_order.server();
    return tlsDecision(attempt);
}

OperationStep CurlOperation::continued()
{
    OperationStep step;
    step.kind = OperationStep::Kind::Continue;
    return step;
}

size_t CurlOperation::onHeader(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<CurlOperation *>(userp);
    const size_t length = size * count;
    return self->replyHeader(QByteArrayView(data, qsizetype(length))) ? length : 0;
}

int CurlOperation::onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    auto *self = static_cast<CurlOperation *>(userp);
    const QByteArrayView piece(data, qsizetype(size));
    // A reply, or libcurl's word that a proxy granted a connection, is
    // acknowledged at once. Delayed, the acknowledgement holds back the next
    // small write of a peer that waits for it before sending more (Nagle):
    // through microsocks each greeting, each 226 after a 150 and each data
    // connection's first bytes came 40 ms late.
    if (type == CURLINFO_HEADER_IN || type == CURLINFO_TEXT)
        self->m_watch.acknowledgeAll();
    // An HTTP proxy's tunnel is set up before the server says a word; its
    // request carries the proxy's password, and none of it is the server's.
    QString line;
    if (!self->m_tunnel.take(type, piece, line))
        self->debugOutput(type, piece);
    else if (!line.isEmpty())
        self->m_reports.protocol(ProtocolEvent::Kind::Detail, line);
    return 0;
}

void setTransferPart(CURL *easy, const OperationOrder &order)
{
    if (!order.range.isEmpty())
        setOption(easy, CURLOPT_RANGE, order.range.constData());
    if (order.resumeFrom <= 0)
        return;
    // The local file is read from resumeFrom on (LocalFiles skips the rest).
    if (order.command.verb == TransferVerb::Put)
        setOption(easy, CURLOPT_APPEND, 1L);
    else
        setOption(easy, CURLOPT_RESUME_FROM_LARGE, curl_off_t(order.resumeFrom));
}

bool concludeData(OperationOutcome &outcome, bool ok, LocalFiles &files, qint64 serverSize,
                  const QString &uploadPath, TransferVerb verb, const QByteArray &answer)
{
    if (ok && serverSize >= 0 && serverSize != files.uploadSize()) {
        ok = false;
        outcome.failure = incompleteUploadText(serverSize, files.uploadSize(), uploadPath);
    }
    if (ok) {
        outcome.retrieved = files.commit();
        if (!files.failure().isEmpty()) {
            ok = false;
            outcome.failure = files.failure();
        }
    } else {
        files.discard();
    }
    if (ok && (verb == TransferVerb::Size || verb == TransferVerb::Pwd)) {
        auto buffer = std::make_shared<QBuffer>();
        buffer->setData(answer);
        buffer->open(QIODevice::ReadOnly);
        outcome.retrieved = std::move(buffer);
    }
    return ok;
}
