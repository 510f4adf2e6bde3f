#include "site_check_operation.h"

#include "curl_transfer.h"
#include "failure_text.h"
#include "report_queue.h"
#include "request_builder.h"
#include "site_check_file_rules.h"
#include "site_check_tls_rules.h"
#include "tls_decision.h"

#include <QHostAddress>
#include <QUrl>

#include <netdb.h>

namespace {

QByteArray withoutLineEnd(const char *data, size_t size)
{
    QByteArray line(data, qsizetype(size));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The addresses `host` resolves to, IPv4 and IPv6, each once. The engine's
// thread waits for the system's resolver, as libcurl's own would.
QStringList resolve(const QString &host)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    QStringList addresses;
    if (getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) != 0)
        return addresses;
    for (addrinfo *a = found; a; a = a->ai_next) {
        const QString address = QHostAddress(a->ai_addr).toString();
        if (!addresses.contains(address))
            addresses << address;
    }
    freeaddrinfo(found);
    return addresses;
}

QString firstIpv6(const QStringList &addresses)
{
    for (const QString &address : addresses)
        if (QHostAddress(address).protocol() == QAbstractSocket::IPv6Protocol)
            return address;
    return {};
}

// How long an active-mode data connection may take to come in: short,
// since a firewall that drops it would otherwise hold the check.
constexpr long ActiveAcceptMs = 3000;

} // namespace

SiteCheckOperation::SiteCheckOperation(OperationOrder order, const OperationContext &context)
    : m_order(std::move(order)), m_reports(context.reports), m_watch(context.watch),
      m_easy(context.easy), m_check(context.check), m_checkFailure(context.reason),
      m_trust(context.trust)
{
    m_clock.start();
    m_tls = tlsSettingsFor(m_order.clearTextNeedsConsent, m_trust, m_check, context.share);
    const QStringList &args = m_order.command.args;
    m_folder = args.isEmpty() ? m_order.folder : m_order.folder.resolved(args.at(0));
    m_folderUrl = m_order.serverUrl + m_folder.urlPath();
    QRandomGenerator random(QRandomGenerator::system()->generate());
    m_fileName = siteCheckFileName(QDateTime::currentDateTimeUtc(), random);
    m_payload = siteCheckPayload(random);

    m_reports.protocol(ProtocolEvent::Kind::Info, startLine(m_order.command));
    if (m_check == TlsSettings::Check::Probe)
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           QStringLiteral("Fetching the certificate to show it"));
    m_reports.state(TransferState::ResolvingHost);
    m_addresses = resolve(m_order.host);
    m_resolveMs = now();
    m_reports.state(TransferState::HostResolved);
    try {
        setUp(Request::Login);
    } catch (...) {
        curl_easy_reset(m_easy);
        throw;
    }
    m_watch.setListener(this);
}

SiteCheckOperation::~SiteCheckOperation()
{
    m_watch.setListener(nullptr);
    curl_easy_reset(m_easy);
}

QString SiteCheckOperation::filePath() const
{
    const QString folder = m_folder.display();
    return folder.isEmpty() ? m_fileName : folder + QLatin1Char('/') + m_fileName;
}

void SiteCheckOperation::setUp(Request request)
{
    m_request = request;
    m_requestFrom = m_transcript.size();
    m_requestStart = now();
    m_received.clear();
    m_sentBytes = 0;
    m_firstByteMs = -1;
    m_errorBuffer[0] = 0;
    m_quote.reset();
    m_postQuote.reset();
    const bool onFile = request == Request::Upload || request == Request::ReadBack;
    prepareBareRequest(m_easy, m_order,
                       onFile ? m_folderUrl + QUrl::toPercentEncoding(m_fileName) : m_folderUrl,
                       m_tls);
    setOption(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
    setOption(m_easy, CURLOPT_HEADERFUNCTION, &SiteCheckOperation::onHeader);
    setOption(m_easy, CURLOPT_HEADERDATA, this);
    setOption(m_easy, CURLOPT_VERBOSE, 1L);
    setOption(m_easy, CURLOPT_DEBUGFUNCTION, &SiteCheckOperation::onDebug);
    setOption(m_easy, CURLOPT_DEBUGDATA, this);
    setOption(m_easy, CURLOPT_WRITEFUNCTION, &SiteCheckOperation::onWrite);
    setOption(m_easy, CURLOPT_WRITEDATA, this);
    m_watch.install(m_easy);
    const QByteArray file = m_fileName.toUtf8();
    switch (request) {
    case Request::Login:
        // A login of its own, whatever the console had open: the check
        // measures the connection, the greeting and the login.
        setOption(m_easy, CURLOPT_FRESH_CONNECT, 1L);
        setOption(m_easy, CURLOPT_NOBODY, 1L);
        appendTo(m_quote, "*SYST");
        appendTo(m_quote, "*FEAT");
        break;
    case Request::Listing:
        // PASV on its own, only to read the address it names: nothing
        // connects to it.
        appendTo(m_quote, "*PASV");
        appendTo(m_postQuote, "*SIZE " + file); // the test file must not exist yet
        break;
    case Request::Upload: {
        setOption(m_easy, CURLOPT_UPLOAD, 1L);
        setOption(m_easy, CURLOPT_READFUNCTION, &SiteCheckOperation::onRead);
        setOption(m_easy, CURLOPT_READDATA, this);
        setOption(m_easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_payload.size()));
        appendTo(m_postQuote, "*SIZE " + file);
        appendTo(m_postQuote, "*MDTM " + file);
        const HashCommand hash = hashCommand(m_featLines);
        if (!hash.select.isEmpty())
            appendTo(m_postQuote, "*" + hash.select.toUtf8());
        if (!hash.command.isEmpty())
            appendTo(m_postQuote, "*" + hash.command.toUtf8() + ' ' + file);
        break;
    }
    case Request::ReadBack:
        // The bytes that arrive are compared; a SIZE that lies must not end
        // the download early, nor the login's connection with it.
        setOption(m_easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
        break;
    case Request::CleanUp:
        setOption(m_easy, CURLOPT_NOBODY, 1L);
        appendTo(m_postQuote, "*DELE " + file);
        appendTo(m_postQuote, "*SIZE " + file);
        break;
    case Request::Active:
        setOption(m_easy, CURLOPT_FTPPORT, "-");
        setOption(m_easy, CURLOPT_ACCEPTTIMEOUT_MS, ActiveAcceptMs);
        break;
    case Request::Ipv6:
        setOption(m_easy, CURLOPT_FRESH_CONNECT, 1L);
        setOption(m_easy, CURLOPT_IPRESOLVE, long(CURL_IPRESOLVE_V6));
        break;
    case Request::None:
        break;
    }
    if (m_quote)
        setOption(m_easy, CURLOPT_QUOTE, m_quote.get());
    if (m_postQuote)
        setOption(m_easy, CURLOPT_POSTQUOTE, m_postQuote.get());
}

void SiteCheckOperation::afterAction() {}

OperationStep SiteCheckOperation::done(CURLcode result)
{
    if (m_request == Request::Login && !m_loggedIn && !m_transcript.last(QStringLiteral("USER"))) {
        TlsAttempt attempt;
        attempt.easy = m_easy;
        attempt.result = result;
        attempt.check = m_check;
        attempt.clearTextNeedsConsent = m_order.clearTextNeedsConsent;
        attempt.detail = QString::fromUtf8(m_errorBuffer);
        attempt.checkFailure = m_checkFailure;
        attempt.trust = m_trust;
        attempt.server = m_order.server();
        if (std::optional<OperationStep> step = tlsDecision(attempt))
            return *step;
    }
    Request next = conclude(m_request, result);
    // libcurl 7.88 waits forever for an active data connection under TLS.
    if (next == Request::Active && m_controlTls && activeModeBrokenUnderTls(libcurlVersion())) {
        m_request = Request::None;
        next = afterActive(CURLE_OK);
    }
    try {
        if (next != Request::None) {
            setUp(next);
            OperationStep step;
            step.kind = OperationStep::Kind::Continue;
            return step;
        }
    } catch (const std::exception &error) {
        skipFrom(SiteCheckStepId::NameResolution, QString::fromUtf8(error.what()));
    }
    return OperationStep::finished(outcome());
}

// --- What each request found, and what follows it.

SiteCheckOperation::Request SiteCheckOperation::conclude(Request request, CURLcode result)
{
    switch (request) {
    case Request::Login:
        return afterLogin(result);
    case Request::Listing:
        return afterListing(result);
    case Request::Upload:
        return afterUpload(result);
    case Request::ReadBack:
        return afterReadBack(result);
    case Request::CleanUp:
        return afterCleanUp();
    case Request::Active:
        return afterActive(result);
    case Request::Ipv6:
        afterIpv6(result);
        break;
    case Request::None:
        break;
    }
    return Request::None;
}

// A request after the login that found the login's connection gone: the
// check does not log in again.
bool SiteCheckOperation::connectionLost(CURLcode result) const
{
    return result == CURLE_COULDNT_CONNECT && m_transcript.size() == m_requestFrom;
}

SiteCheckOperation::Request SiteCheckOperation::afterLogin(CURLcode result)
{
    SiteCheckLoginFacts facts;
    facts.host = m_order.host;
    facts.port = m_order.port;
    facts.user = m_order.user;
    facts.addresses = m_addresses;
    facts.resolveMs = m_resolveMs;
    facts.result = result;
    curl_off_t connectUs = 0, resolveUs = 0;
    curl_easy_getinfo(m_easy, CURLINFO_CONNECT_TIME_T, &connectUs);
    curl_easy_getinfo(m_easy, CURLINFO_NAMELOOKUP_TIME_T, &resolveUs);
    facts.connected = connectUs > 0 || m_transcript.greeting();
    facts.connectMs = connectUs > 0 ? (connectUs - resolveUs) / 1000 : -1;
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &facts.osErrno);
    facts.timedOut = result == CURLE_OPERATION_TIMEDOUT;
    facts.peer = primaryAddress();
    facts.tls = m_controlTls;
    facts.handshake = m_handshake;
    facts.tlsMs = m_tlsMs;
    facts.check = m_tls.check; // pinned when the operator trusted the certificate
    const QList<SiteCheckStep> steps =
        loginSteps(facts, m_transcript, QDateTime::currentDateTimeUtc());
    for (const SiteCheckStep &step : steps)
        report(step);
    if (steps.size() < int(SiteCheckStepId::Features)) {
        skipFrom(SiteCheckStepId::NameResolution, QStringLiteral("an earlier step failed"));
        return Request::None;
    }
    m_loggedIn = true;
    if (const SiteCheckExchange *feat = m_transcript.last(QStringLiteral("FEAT")))
        m_featLines = feat->lines();
    const SiteCheckExchange *cwd = m_transcript.last(QStringLiteral("CWD"));
    if (cwd && cwd->code >= 400) {
        const QString why = QStringLiteral("the folder %1 cannot be opened: %2")
                                .arg(m_folder.display(), cwd->lastLine());
        report(siteCheckStep(SiteCheckStepId::PassiveData,
                             SiteCheckOutcome::fail(why, QStringLiteral("Check the folder's name "
                                                                        "and the account's rights "
                                                                        "on it.")),
                             cwd->elapsedMs(), {}, cwd));
        skipFrom(SiteCheckStepId::PassiveAddress, why);
        return Request::None;
    }
    return Request::Listing;
}

SiteCheckOperation::Request SiteCheckOperation::afterListing(CURLcode result)
{
    if (connectionLost(result)) {
        skipFrom(SiteCheckStepId::PassiveData,
                 QStringLiteral("the server closed the connection; the check logs in once"));
        return Request::None;
    }
    SiteCheckListingFacts facts;
    facts.result = result;
    facts.listing = m_received;
    facts.dataAddress = m_dataAddress;
    facts.peer = primaryAddress();
    facts.elapsedMs = now() - m_requestStart;
    facts.tls = m_controlTls;
    facts.dataResumed = m_dataResumed;
    facts.from = m_requestFrom;
    for (const SiteCheckStep &step : listingSteps(facts, m_transcript))
        report(step);
    m_passiveWorked = result == CURLE_OK;
    const SiteCheckExchange *size = m_transcript.last(QStringLiteral("SIZE "), m_requestFrom);
    if (size && size->code == 213) {
        skip(SiteCheckStepId::Write, SiteCheckStepId::CleanUp,
             QStringLiteral("a file named %1 exists; nothing is overwritten").arg(filePath()));
        return Request::Active;
    }
    return Request::Upload;
}

SiteCheckOperation::Request SiteCheckOperation::afterUpload(CURLcode result)
{
    if (connectionLost(result)) {
        skipFrom(SiteCheckStepId::Write,
                 QStringLiteral("the server closed the connection; the check logs in once"));
        return Request::None;
    }
    SiteCheckUploadFacts facts;
    facts.folder =
        m_folder.display().isEmpty() ? QStringLiteral("the login folder") : m_folder.display();
    facts.payload = m_payload;
    facts.uploadEndedUtc =
        m_uploadEnded.isValid() ? m_uploadEnded : QDateTime::currentDateTimeUtc();
    facts.featLines = m_featLines;
    facts.elapsedMs = now() - m_requestStart;
    facts.from = m_requestFrom;
    const QList<SiteCheckStep> steps = uploadSteps(facts, m_transcript);
    for (const SiteCheckStep &step : steps)
        report(step);
    const SiteCheckExchange *stor = m_transcript.last(QStringLiteral("STOR"), m_requestFrom);
    if (stor && isWriteRefusal(stor->code)) {
        m_fileMayExist = false;
        skip(SiteCheckStepId::Verify, SiteCheckStepId::CleanUp, writeRefusedText(facts.folder));
        return Request::Active;
    }
    if (steps.size() < 2) {
        skip(SiteCheckStepId::Verify, SiteCheckStepId::ReadBack,
             QStringLiteral("the upload failed"));
        return m_fileMayExist ? Request::CleanUp : Request::Active;
    }
    return Request::ReadBack;
}

SiteCheckOperation::Request SiteCheckOperation::afterReadBack(CURLcode result)
{
    const qint64 elapsed = now() - m_requestStart;
    SiteCheckOutcome outcome = readBackOutcome(
        m_payload, m_received, m_firstByteMs < 0 ? -1 : m_firstByteMs - m_requestStart, elapsed);
    if (result != CURLE_OK && m_received == m_payload)
        outcome = SiteCheckOutcome::fail(QString::fromUtf8(m_errorBuffer),
                                         QStringLiteral("The download ended in an error."));
    report(siteCheckStep(SiteCheckStepId::ReadBack, outcome, elapsed,
                         {{QStringLiteral("bytes"), qint64(m_received.size())}},
                         m_transcript.last(QStringLiteral("RETR"), m_requestFrom)));
    return connectionLost(result) ? Request::None : Request::CleanUp;
}

SiteCheckOperation::Request SiteCheckOperation::afterCleanUp()
{
    const SiteCheckExchange *dele = m_transcript.last(QStringLiteral("DELE"), m_requestFrom);
    const SiteCheckExchange *size = m_transcript.last(QStringLiteral("SIZE"), m_requestFrom);
    if (dele && dele->code / 100 == 2)
        m_fileMayExist = false;
    report(siteCheckStep(SiteCheckStepId::CleanUp,
                         cleanUpOutcome(dele ? dele->code : 0,
                                        dele ? dele->words() : QStringLiteral("no connection"),
                                        filePath(), !dele || (size && size->code == 213)),
                         now() - m_requestStart, {{QStringLiteral("file"), filePath()}}, dele));
    return m_loggedIn ? Request::Active : Request::None;
}

SiteCheckOperation::Request SiteCheckOperation::afterActive(CURLcode result)
{
    const bool skipped = m_request != Request::Active;
    ActiveListing listing;
    listing.listed = !skipped && result == CURLE_OK;
    const SiteCheckExchange *eprt = m_transcript.last(QStringLiteral("EPRT"), m_requestFrom);
    const SiteCheckExchange *port = m_transcript.last(QStringLiteral("PORT"), m_requestFrom);
    listing.portRefused =
        (!eprt || eprt->code >= 500) && (!port || port->code >= 500) && (eprt || port);
    listing.passiveWorked = m_passiveWorked;
    const QString version = libcurlVersion();
    const SiteCheckOutcome outcome =
        skipped ? activeModeSkippedOutcome(version) : activeModeOutcome(listing);
    report(siteCheckStep(SiteCheckStepId::ActiveMode, outcome,
                         skipped ? -1 : now() - m_requestStart, {},
                         skipped ? nullptr : (port ? port : eprt)));
    const QString ipv6 = firstIpv6(m_addresses);
    if (ipv6.isEmpty()) {
        report(siteCheckStep(SiteCheckStepId::Ipv6, ipv6Outcome({}), -1));
        return Request::None;
    }
    return Request::Ipv6;
}

void SiteCheckOperation::afterIpv6(CURLcode result)
{
    Ipv6Check check;
    check.address = firstIpv6(m_addresses);
    curl_off_t connectUs = 0;
    curl_easy_getinfo(m_easy, CURLINFO_CONNECT_TIME_T, &connectUs);
    const SiteCheckExchange *pass = m_transcript.last(QStringLiteral("PASS"), m_requestFrom);
    check.connected = connectUs > 0 || pass;
    check.loggedIn = pass && pass->code / 100 == 2;
    check.listed = result == CURLE_OK;
    report(siteCheckStep(SiteCheckStepId::Ipv6, ipv6Outcome(check), now() - m_requestStart,
                         {{QStringLiteral("address"), check.address}}, pass));
}

// --- The steps as they end, and the end of the check.

void SiteCheckOperation::report(const SiteCheckStep &step)
{
    if (m_reported.contains(step.id))
        return;
    m_reported.insert(step.id);
    m_steps << step;
    m_reports.siteCheckStep(step);
}

void SiteCheckOperation::skip(SiteCheckStepId from, SiteCheckStepId to, const QString &reason)
{
    for (const SiteCheckStepId id : siteCheckSteps())
        if (int(id) >= int(from) && int(id) <= int(to) && !m_reported.contains(id))
            report(siteCheckStep(id, SiteCheckOutcome::skipped(reason), -1));
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
    skipFrom(SiteCheckStepId::NameResolution, QStringLiteral("the check ended before this step"));
    OperationOutcome outcome;
    outcome.ok = siteCheckVerdict(m_steps) != SiteCheckResult::Fail;
    outcome.summary = siteCheckVerdictLine(m_steps);
    if (!outcome.ok)
        outcome.failure = outcome.summary;
    outcome.freshLogin = true;
    outcome.protection =
        m_loggedIn ? (m_controlTls ? m_handshake.protection : QStringLiteral("not encrypted"))
                   : QString();
    outcome.times.resolve = m_resolveMs * 1000;
    outcome.times.total = now() * 1000;
    return outcome;
}

OperationOutcome SiteCheckOperation::stop()
{
    m_reports.protocol(ProtocolEvent::Kind::Info, QLatin1String(StoppedText));
    if (m_fileMayExist) {
        // The engine's handle has just left the multi handle with the
        // login's connection; this one makes its own, briefly, so that the
        // test file is not left behind.
        CurlEasy cleaner(curl_easy_init());
        CurlList commands;
        appendTo(commands, "DELE " + m_fileName.toUtf8());
        QString said = QStringLiteral("no connection");
        int code = 0;
        if (cleaner) {
            OperationOrder quick = m_order;
            quick.timeoutSeconds = 5;
            try {
                prepareBareRequest(cleaner.get(), quick, m_folderUrl, m_tls);
                setOption(cleaner.get(), CURLOPT_NOBODY, 1L);
                setOption(cleaner.get(), CURLOPT_POSTQUOTE, commands.get());
                const CURLcode result = curl_easy_perform(cleaner.get());
                long reply = 0;
                curl_easy_getinfo(cleaner.get(), CURLINFO_RESPONSE_CODE, &reply);
                code = int(reply);
                said = result == CURLE_OK ? QStringLiteral("deleted")
                                          : QString::fromUtf8(curl_easy_strerror(result));
            } catch (const std::exception &error) {
                said = QString::fromUtf8(error.what());
            }
        }
        report(siteCheckStep(SiteCheckStepId::CleanUp,
                             cleanUpOutcome(code, said, filePath(), code / 100 != 2), -1));
    }
    skipFrom(SiteCheckStepId::NameResolution, QLatin1String(StoppedText));
    OperationOutcome stopped = outcome();
    stopped.ok = false;
    stopped.failure = QLatin1String(StoppedText);
    return stopped;
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
        if (m_loggedIn && m_request != Request::Ipv6 && m_request != Request::CleanUp)
            return Socket::Refused;
        m_reports.state(TransferState::Connecting);
        m_reports.protocol(ProtocolEvent::Kind::Info, connectingLine(address));
        return Socket::Control;
    }
    m_dataAddress = address;
    if (!m_controlTls)
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           dataConnectionLine(address, DataProtection::Clear));
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
    if (m_check == TlsSettings::Check::Probe)
        return;
    m_reports.protocol(ProtocolEvent::Kind::Info, tlsLine(handshake.protection, handshake.cipher));
}

void SiteCheckOperation::replyLine(const QString &line)
{
    const std::optional<FtpReply> reply = m_assembler.addLine(line);
    if (!reply)
        return;
    const bool greeting = m_transcript.size() == 0;
    m_transcript.replied(*reply, now());
    if (greeting)
        m_reports.state(TransferState::Connected);
    const SiteCheckExchange *stor = m_transcript.last(QStringLiteral("STOR"), m_requestFrom);
    if (stor && stor == m_transcript.last(QString(), m_requestFrom) && reply->code >= 200)
        m_uploadEnded = QDateTime::currentDateTimeUtc();
    m_reports.setReply(reply->code, reply->text);
    m_reports.state(TransferState::ResponseReceived);
}

size_t SiteCheckOperation::onWrite(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<SiteCheckOperation *>(userp);
    const size_t length = size * count;
    if (self->m_firstByteMs < 0) {
        self->m_firstByteMs = self->now();
        self->m_reports.state(TransferState::ReceivingResponse);
    }
    // Far more than any listing or the test file: a listing that never
    // ends is cut here.
    if (self->m_received.size() + qint64(length) > 16 * 1024 * 1024)
        return 0;
    self->m_received.append(data, qsizetype(length));
    return length;
}

size_t SiteCheckOperation::onRead(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<SiteCheckOperation *>(userp);
    self->m_fileMayExist = true;
    const qint64 length = qMin(qint64(size * count), self->m_payload.size() - self->m_sentBytes);
    memcpy(data, self->m_payload.constData() + self->m_sentBytes, size_t(length));
    self->m_sentBytes += length;
    return size_t(length);
}

size_t SiteCheckOperation::onHeader(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<SiteCheckOperation *>(userp);
    self->replyLine(QString::fromUtf8(withoutLineEnd(data, size * count)));
    // A reply past the assembler's limits ends the request.
    return self->m_assembler.error() ? 0 : size * count;
}

int SiteCheckOperation::onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    auto *self = static_cast<SiteCheckOperation *>(userp);
    const std::optional<OperatorLine> line =
        operatorLine(type, QByteArrayView(data, qsizetype(size)));
    if (!line)
        return 0;
    self->m_reports.protocol(line->kind, line->text);
    if (type == CURLINFO_HEADER_OUT) {
        self->m_transcript.sent(line->text, self->now());
        if (line->text.startsWith(QLatin1String("STOR ")))
            self->m_fileMayExist = true;
        self->m_reports.state(TransferState::Requesting);
        self->m_reports.state(TransferState::RequestSent);
    }
    return 0;
}
