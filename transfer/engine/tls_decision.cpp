#include "engine/tls_decision.h"

namespace {

// The certificate the probe fetched, from libcurl's PEM text.
CertificateFacts fetchedCertificate(CURL *easy)
{
    QByteArray pem;
    curl_certinfo *info = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CERTINFO, &info) == CURLE_OK && info &&
        info->num_of_certs > 0)
        for (curl_slist *field = info->certinfo[0]; field; field = field->next)
            if (qstrncmp(field->data, "Cert:", 5) == 0)
                pem = QByteArray(field->data + 5);
    return certificateFacts(pem);
}

OperationStep askAboutCertificate(const TlsAttempt &attempt)
{
    const CertificateFacts facts = fetchedCertificate(attempt.easy);
    if (!facts.valid) {
        OperationOutcome unread;
        unread.failure = QStringLiteral("The certificate of %1 could not be read; nothing of the "
                                        "account was sent.")
                             .arg(attempt.server);
        return OperationStep::finished(unread);
    }
    OperationStep step;
    step.kind = OperationStep::Kind::Ask;
    step.pin = facts.pin;
    TrustQuestion &question = step.question;
    question.kind = TrustQuestion::Kind::Certificate;
    question.reason = attempt.checkFailure;
    question.subject = facts.subject;
    question.issuer = facts.issuer;
    question.notBefore = facts.notBefore;
    question.notAfter = facts.notAfter;
    question.fingerprint = facts.fingerprint;
    question.names = facts.names;
    question.changed =
        !attempt.trust.fingerprint.isEmpty() && attempt.trust.fingerprint != facts.fingerprint;
    return step;
}

} // namespace

std::optional<OperationStep> tlsDecision(const TlsAttempt &attempt)
{
    OperationStep step;
    switch (nextTlsStep(attempt.result, attempt.check, attempt.clearTextNeedsConsent)) {
    case TlsNextStep::Probe:
        step.kind = OperationStep::Kind::Retry;
        step.check = TlsSettings::Check::Probe;
        step.reason =
            attempt.result == CURLE_PEER_FAILED_VERIFICATION
                ? attempt.detail
                : QStringLiteral("the certificate is not the one trusted for this server");
        return step;
    case TlsNextStep::AskCertificate:
        return askAboutCertificate(attempt);
    case TlsNextStep::AskClearText:
        step.kind = OperationStep::Kind::Ask;
        step.question.kind = TrustQuestion::Kind::ClearText;
        return step;
    case TlsNextStep::End:
        break;
    }
    return std::nullopt;
}
