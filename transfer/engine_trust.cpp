// What the engine does about trust: which protection a login asks for, and
// the TLS outcomes that lead to a question for the operator or a second try
// instead of the end of the operation. Nothing of the account goes out before
// the certificate is trusted or the operator has agreed to clear text.
#include "engine_operation.h"
#include "transfer_engine.h"

QString TransferEngine::server(const EngineRequest &request) const
{
    return QStringLiteral("%1:%2").arg(request.host).arg(request.port);
}

TlsSettings TransferEngine::tlsFor(const EngineRequest &request, TlsSettings::Check check)
{
    if (!m_share) {
        m_share.reset(curl_share_init());
        if (!m_share || curl_share_setopt(m_share.get(), CURLSHOPT_SHARE,
                                          CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK)
            throw std::runtime_error("libcurl could not share TLS sessions between requests.");
    }
    const ServerTrust &trust = m_trust[server(request)];
    TlsSettings tls;
    tls.share = m_share.get();
    if (trust.clearText)
        tls.use = TlsSettings::Use::Off;
    else if (!request.clearTextNeedsConsent)
        tls.use = TlsSettings::Use::IfOffered;
    tls.check = check;
    if (check == TlsSettings::Check::Authorities && !trust.pin.isEmpty()) {
        tls.check = TlsSettings::Check::Pinned;
        tls.pin = trust.pin;
    }
    return tls;
}

// True when the operation goes on: tried again, or waiting for the operator.
bool TransferEngine::retryOrAsk(CURLcode result)
{
    EngineRequest request = m_op->origin;
    // The failed attempt's connection is closed already; the pool stays.
    request.newLogin = false;
    const QString detail = QString::fromUtf8(m_op->errorBuffer);
    switch (result) {
    case CURLE_USE_SSL_FAILED: {
        if (!request.clearTextNeedsConsent)
            return false;
        TrustQuestion question;
        question.kind = TrustQuestion::Kind::ClearText;
        ask(request, question);
        return true;
    }
    case CURLE_PEER_FAILED_VERIFICATION:
        if (m_op->check == TlsSettings::Check::Probe)
            return false;
        m_op.reset();
        begin(request, TlsSettings::Check::Probe, detail);
        return true;
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        if (m_op->check != TlsSettings::Check::Probe) {
            m_op.reset();
            begin(request, TlsSettings::Check::Probe,
                  QStringLiteral("the certificate is not the one trusted for this server"));
            return true;
        }
        askAboutCertificate();
        return true;
    default:
        return false;
    }
}

void TransferEngine::askAboutCertificate()
{
    QByteArray pem;
    curl_certinfo *info = nullptr;
    if (curl_easy_getinfo(m_op->request.easy, CURLINFO_CERTINFO, &info) == CURLE_OK && info &&
        info->num_of_certs > 0)
        for (curl_slist *field = info->certinfo[0]; field; field = field->next)
            if (qstrncmp(field->data, "Cert:", 5) == 0)
                pem = QByteArray(field->data + 5);
    const CertificateFacts facts = certificateFacts(pem);
    const EngineRequest request = m_op->origin;
    if (!facts.valid) {
        m_op->localError =
            QStringLiteral("The certificate of %1 could not be read; nothing of the account "
                           "was sent.")
                .arg(server(request));
        return complete(false, m_op->localError);
    }
    const ServerTrust &trust = m_trust[server(request)];
    TrustQuestion question;
    question.kind = TrustQuestion::Kind::Certificate;
    question.reason = m_op->verifyFailure;
    question.subject = facts.subject;
    question.issuer = facts.issuer;
    question.notBefore = facts.notBefore;
    question.notAfter = facts.notAfter;
    question.fingerprint = facts.fingerprint;
    question.changed = !trust.fingerprint.isEmpty() && trust.fingerprint != facts.fingerprint;
    ask(request, question, facts.pin);
}

// The operation waits, holding nothing open, until answerTrust.
void TransferEngine::ask(const EngineRequest &request, TrustQuestion question,
                         const QByteArray &pin)
{
    m_op.reset();
    question.host = request.host;
    question.port = request.port;
    EngineReport report;
    report.kind = EngineReport::Kind::Question;
    report.question = question;
    m_reports.push_back(std::move(report));
    m_pending = Pending{request, question, pin};
}

void TransferEngine::answerTrust(bool trusted)
{
    if (!m_pending)
        return;
    Pending pending = std::move(*m_pending);
    m_pending.reset();
    ServerTrust &trust = m_trust[server(pending.request)];
    const bool certificate = pending.question.kind == TrustQuestion::Kind::Certificate;
    if (!trusted) {
        fail(certificate ? QStringLiteral("The certificate of %1 was not trusted (%2); nothing "
                                          "of the account was sent.")
                               .arg(server(pending.request), pending.question.reason)
                         : QStringLiteral("%1 does not offer encryption, and the account was not "
                                          "sent in clear text.")
                               .arg(pending.request.host));
        return flush();
    }
    if (certificate) {
        trust.pin = pending.pin;
        trust.fingerprint = pending.question.fingerprint;
    } else {
        trust.clearText = true;
    }
    // A login under new terms never rides on a pooled connection.
    pending.request.newLogin = true;
    start(pending.request);
}

void TransferEngine::setProtection(const QString &protection)
{
    if (protection == m_protection)
        return;
    m_protection = protection;
    EngineReport report;
    report.kind = EngineReport::Kind::Protection;
    report.protection = protection;
    m_reports.push_back(std::move(report));
}
