#include "site_check/site_check_operation.h"

#include "engine/libcurl_version.h"
#include "engine/report_queue.h"
#include "ftp/request_builder.h"
#include "site_check/rules/site_check_file_rules.h"
#include "site_check/site_check_requests.h"
#include "text/failure_text.h"

#include <QUrl>

SiteCheckOperation::SiteCheckOperation(OperationOrder order, const OperationContext &context)
    : CurlOperation(std::move(order), context), m_tlsCheck(context.check),
      m_checkFailure(context.reason), m_trust(context.trust)
{
    m_clock.start();
    m_tls = tlsSettingsFor(m_order.clearTextNeedsConsent, m_trust, m_tlsCheck, context.share);
    const QStringList &args = m_order.command.args;
    SiteCheckSequence::Target target;
    target.order = m_order;
    target.folder = args.isEmpty() ? m_order.folder : m_order.folder.resolved(args.at(0));
    m_folderUrl = m_order.serverUrl + target.folder.urlPath();
    QRandomGenerator random(QRandomGenerator::system()->generate());
    m_fileName = target.fileName = siteCheckFileName(QDateTime::currentDateTimeUtc(), random);
    target.payload = siteCheckPayload(random);
    m_data.setPayload(target.payload);

    m_reports.protocol(ProtocolEvent::Kind::Info, startLine(m_order.command));
    if (m_tlsCheck == TlsSettings::Check::Probe)
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           QStringLiteral("Fetching the certificate to show it"));
    m_sequence = std::make_unique<SiteCheckSequence>(
        std::move(target),
        SiteCheckBook::Outlets{
            [this](const SiteCheckStep &step) { m_reports.siteCheckStep(step); },
            [this](const SiteCheckProgress &progress) { m_reports.siteCheckProgress(progress); }});
    m_reports.state(TransferState::ResolvingHost);
    m_sequence->resolving();
    m_reports.flush();
    const QStringList addresses = resolveHost(m_order.host);
    m_sequence->resolved(addresses, now());
    m_reports.state(TransferState::HostResolved);
    setUp(SiteCheckRequest::Login);
}

void SiteCheckOperation::setUp(SiteCheckRequest request)
{
    m_request = request;
    m_requestFrom = m_transcript.size();
    m_requestStart = now();
    m_commands = {};
    const bool onFile =
        request == SiteCheckRequest::Upload || request == SiteCheckRequest::ReadBack;
    // After a stop, a reply cut off with its connection is given up.
    if (m_cleanUp.running())
        m_assembler.reset();
    prepareBareRequest(m_easy, m_cleanUp.running() ? SiteCheckCleanUp::limited(m_order) : m_order,
                       onFile ? m_folderUrl + QUrl::toPercentEncoding(m_fileName) : m_folderUrl,
                       m_tls);
    installCallbacks();
    m_data.restart(m_easy, request == SiteCheckRequest::Upload);
    setSiteCheckRequest(m_easy, request,
                        request == SiteCheckRequest::CleanUp ? m_sequence->deletionPath()
                                                             : m_fileName,
                        m_sequence->featLines(), m_commands);
    if (m_cleanUp.running())
        SiteCheckCleanUp::limit(m_easy);
    m_sequence->started(request);
}

OperationStep SiteCheckOperation::done(CURLcode result)
{
    if (m_cleanUp.running()) {
        m_sequence->cleanedUp(facts(result), m_transcript);
        return OperationStep::finished(withLogin(m_cleanUp.ended(m_sequence->book())));
    }
    // Until USER has gone out, a TLS failure brings the trust questions.
    if (m_request == SiteCheckRequest::Login && !m_transcript.last(QStringLiteral("USER"))) {
        if (std::optional<OperationStep> step =
                tlsStep(result, m_tlsCheck, m_checkFailure, m_trust))
            return *step;
    }
    const SiteCheckRequest next = m_sequence->next(m_request, facts(result), m_transcript);
    if (m_request == SiteCheckRequest::CleanUp)
        m_data.setFileMayExist(false); // deleted, or named as left behind
    try {
        if (next != SiteCheckRequest::None) {
            setUp(next);
            return continued();
        }
    } catch (const std::exception &error) {
        m_sequence->book().skipFrom(SiteCheckStepId::NameResolution,
                                    QString::fromUtf8(error.what()));
    }
    return OperationStep::finished(outcome());
}

SiteCheckRequestFacts SiteCheckOperation::facts(CURLcode result) const
{
    SiteCheckRequestFacts f;
    f.result = result;
    f.error = errorDetail();
    f.from = m_requestFrom;
    f.elapsedMs = now() - m_requestStart;
    f.firstByteMs = m_data.firstByteMs() < 0 ? -1 : m_data.firstByteMs() - m_requestStart;
    f.received = m_data.received();
    f.allSentMs = m_data.allSentMs();
    f.peer = primaryAddress();
    f.dataAddress = m_dataAddress;
    // A connection refused before any command: the one this side refused.
    f.lostConnection = result == CURLE_COULDNT_CONNECT && m_transcript.size() == m_requestFrom &&
                       m_sequence->loggedIn();
    f.uploadEndedUtc = m_uploadEnded;
    f.proxyFailure = proxyFailure(result).value_or(QString());
    curl_off_t connectUs = 0;
    curl_off_t resolveUs = 0;
    curl_easy_getinfo(m_easy, CURLINFO_CONNECT_TIME_T, &connectUs);
    curl_easy_getinfo(m_easy, CURLINFO_NAMELOOKUP_TIME_T, &resolveUs);
    f.connected = connectUs > 0 || m_transcript.greeting();
    f.connectMs = connectUs > 0 ? (connectUs - resolveUs) / 1000 : -1;
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &f.osErrno);
    f.tls = m_controlTls;
    f.handshake = m_handshake;
    f.tlsMs = m_tlsMs;
    f.check = m_tls.check; // pinned when the operator trusted the certificate
    f.dataResumed = m_dataResumed;
    return f;
}

QString SiteCheckOperation::primaryAddress() const
{
    char *ip = nullptr;
    long port = 0;
    curl_easy_getinfo(m_easy, CURLINFO_PRIMARY_IP, &ip);
    curl_easy_getinfo(m_easy, CURLINFO_PRIMARY_PORT, &port);
    if (!ip || !*ip)
        return {};
    const QString address = QString::fromLatin1(ip);
    return (address.contains(QLatin1Char(':')) ? QLatin1Char('[') + address + QLatin1Char(']')
                                               : address) +
           QLatin1Char(':') + QString::number(port);
}

OperationOutcome SiteCheckOperation::outcome()
{
    return withLogin(m_sequence->book().finish());
}

OperationOutcome SiteCheckOperation::withLogin(OperationOutcome outcome) const
{
    if (m_sequence->loggedIn() && !m_controlTls)
        outcome.protection = QStringLiteral("not encrypted");
    else if (m_sequence->loggedIn())
        outcome.protection = m_order.implicitTls ? implicitTlsProtection(m_handshake.protection)
                                                 : m_handshake.protection;
    outcome.times.total = now() * 1000;
    return outcome;
}

OperationStep SiteCheckOperation::stopping()
{
    return m_cleanUp.stopping(
        m_data.fileMayExist(), m_sequence->book(), m_reports,
        [this] { setUp(SiteCheckRequest::CleanUp); }, [this] { return stop(); });
}

OperationOutcome SiteCheckOperation::stop()
{
    return withLogin(m_cleanUp.stopped(m_sequence->book(), m_reports, m_sequence->filePath()));
}

// --- Connections, replies and data, as libcurl reports them. The callbacks
// run inside libcurl calls, so they only record and queue.

ConnectionListener::Socket SiteCheckOperation::socketOpening(const QString &address)
{
    // No command yet in this request: a new control connection, unless it
    // is active mode's listening socket, bound to port 0.
    if (m_transcript.size() == m_requestFrom && !address.endsWith(QLatin1String(":0"))) {
        // Only IPv6's own login, and the clean-up that must not leave the
        // test file behind, may log in again after a lost connection.
        if (m_sequence->loggedIn() && m_request != SiteCheckRequest::Ipv6 &&
            m_request != SiteCheckRequest::CleanUp)
            return Socket::Refused;
        m_reports.state(TransferState::Connecting);
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           connectingLine(routedAddress(address, m_order.server(), m_order.proxy)));
        return Socket::Control;
    }
    m_dataAddress = routedAddress(
        address, m_passivePort ? addressText(m_order.host, *m_passivePort) : QString(),
        m_order.proxy);
    if (!m_controlTls)
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           dataConnectionLine(m_dataAddress, DataProtection::Clear));
    return Socket::Data;
}

void SiteCheckOperation::tlsStarted()
{
    if (!m_transcript.last(QStringLiteral("USER")) && m_tlsStart < 0)
        m_tlsStart = now();
}

void SiteCheckOperation::tlsEstablished(const TlsHandshake &handshake)
{
    if (m_controlTls || m_transcript.last(QStringLiteral("USER"))) {
        if (!m_dataHandshakeSeen) {
            m_dataHandshakeSeen = true;
            m_dataResumed = handshake.resumed;
        }
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           dataConnectionLine(m_dataAddress, handshake.resumed
                                                                 ? DataProtection::Resumed
                                                                 : DataProtection::NotResumed));
        return;
    }
    m_controlTls = true;
    m_handshake = handshake;
    m_tlsMs = m_tlsStart >= 0 ? now() - m_tlsStart : -1;
    if (m_tlsCheck == TlsSettings::Check::Probe)
        return;
    m_reports.protocol(ProtocolEvent::Kind::Info,
                       tlsLine(handshake.protection, handshake.cipher, m_order.implicitTls));
}

void SiteCheckOperation::replyLine(const QString &line)
{
    const std::optional<FtpReply> reply = m_assembler.addLine(line);
    if (!reply)
        return;
    const bool greeting = m_transcript.size() == 0;
    if (const std::optional<int> port = passivePort(*reply))
        m_passivePort = port;
    m_transcript.replied(*reply, now());
    if (greeting)
        m_reports.state(TransferState::Connected);
    const SiteCheckExchange *stor = m_transcript.last(QStringLiteral("STOR"), m_requestFrom);
    if (stor && stor == m_transcript.last(QString(), m_requestFrom) && reply->code >= 200)
        m_uploadEnded = QDateTime::currentDateTimeUtc();
    m_reports.setReply(reply->code, reply->text);
    m_reports.state(TransferState::ResponseReceived);
}

bool SiteCheckOperation::replyHeader(QByteArrayView line)
{
    replyLine(QString::fromUtf8(withoutLineEnd(line)));
    // A reply past the assembler's limits ends the request.
    return !m_assembler.error();
}

void SiteCheckOperation::debugOutput(curl_infotype type, QByteArrayView data)
{
    const std::optional<OperatorLine> line = operatorLine(type, data);
    if (!line)
        return;
    m_reports.protocol(line->kind, line->text);
    // The connection stands: the greeting is awaited.
    if (type == CURLINFO_TEXT && line->text.startsWith(QLatin1String("Connected to ")))
        m_sequence->connected();
    if (type == CURLINFO_HEADER_OUT) {
        m_sequence->sent(m_request, line->text);
        m_transcript.sent(line->text, now());
        if (line->text.startsWith(QLatin1String("STOR ")))
            m_data.setFileMayExist(true);
        m_reports.state(TransferState::Requesting);
        m_reports.state(TransferState::RequestSent);
    }
}
