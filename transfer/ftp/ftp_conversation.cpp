#include "ftp/ftp_conversation.h"

#include "engine/report_queue.h"
#include "engine/tls_trust.h"

namespace {

// The commands that open a data connection.
bool startsTransfer(const QString &command)
{
    static const char *const verbs[] = {"RETR ", "STOR ", "APPE ", "LIST", "NLST", "MLSD"};
    for (const char *verb : verbs)
        if (command.startsWith(QLatin1String(verb)))
            return true;
    return false;
}

qint64 span(qint64 from, qint64 to)
{
    return from >= 0 && to >= from ? to - from : -1;
}

} // namespace

FtpConversation::FtpConversation(TransferVerb verb, Role role, bool loginEncrypted,
                                 bool implicitTls, ReportQueue &reports)
    : m_verb(verb), m_role(role), m_reports(reports), m_controlTls(loginEncrypted),
      m_implicitTls(implicitTls)
{
    m_clock.start();
}

void FtpConversation::setRoute(const QString &host, const QString &server,
                               const std::optional<ProxyAddress> &proxy)
{
    m_host = host;
    m_server = server;
    m_proxy = proxy;
}

PhaseTimes FtpConversation::times(qint64 bytes) const
{
    PhaseTimes times;
    if (m_freshLogin) {
        times.resolve = m_at.resolved;
        times.connect = span(m_at.resolved, m_at.connected);
        // Under implicit TLS the greeting comes after the handshake.
        times.greeting =
            span(m_implicitTls && m_at.tlsDone >= 0 ? m_at.tlsDone : m_at.connected, m_at.greeted);
    }
    times.tls = span(m_at.tlsStart, m_at.tlsDone);
    times.login = span(m_at.loginStart, m_at.loginDone);
    times.firstByte = span(m_at.requestSent, m_at.firstByte);
    // An upload's transfer ends with its last byte; the wait for the
    // server's final reply after it is a phase of its own.
    times.transfer = span(m_at.firstByte, allSent() ? m_at.dataSent : m_at.dataEnd);
    times.confirm = span(m_at.dataSent, m_at.confirmed);
    times.total = now();
    times.bytes = bytes;
    return times;
}

void FtpConversation::describe(FailureFacts &facts) const
{
    facts.connected = !m_freshLogin || m_phase >= Phase::Connected;
    facts.greeted = !m_freshLogin || m_phase >= Phase::Greeted;
    facts.lastCommand = m_lastCommand;
    facts.dataAddress = m_dataAddress;
    facts.dataFlowing = m_phase >= Phase::Transferring;
}

void FtpConversation::ended()
{
    if (m_at.firstByte >= 0 && m_at.dataEnd < 0)
        m_at.dataEnd = now();
}

void FtpConversation::connected()
{
    if (m_phase != Phase::Connecting)
        return;
    m_phase = Phase::Connected;
    m_at.connected = now();
    m_reports.protocol(ProtocolEvent::Kind::Info, QStringLiteral("Connected"));
}

ConnectionListener::Socket FtpConversation::socketOpening(const QString &address)
{
    if (m_phase == Phase::Waiting) {
        // CLOSE says QUIT on the pooled login; it never makes a new one.
        if (m_role == Role::Close)
            return ConnectionListener::Socket::Refused;
        m_freshLogin = true;
        m_phase = Phase::Connecting;
        m_at.resolved = now();
        m_reports.state(TransferState::ResolvingHost);
        m_reports.state(TransferState::HostResolved);
        m_reports.state(TransferState::Connecting);
    }
    if (m_phase == Phase::Connecting) {
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           connectingLine(routedAddress(address, m_server, m_proxy)));
        return ConnectionListener::Socket::Control;
    }
    connected();
    m_dataAddress = routedAddress(
        address, m_passivePort ? addressText(m_host, *m_passivePort) : QString(), m_proxy);
    // Over TLS the line waits for the handshake, which tells whether the
    // login's session was resumed.
    if (!m_controlTls)
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           dataConnectionLine(m_dataAddress, DataProtection::Clear));
    return ConnectionListener::Socket::Data;
}

void FtpConversation::tlsStarted()
{
    // Under implicit TLS the handshake starts the moment the connection
    // stands, often within the same call into libcurl.
    connected();
    if (m_phase < Phase::LoggingIn && m_at.tlsStart < 0)
        m_at.tlsStart = now();
}

void FtpConversation::tlsEstablished(const TlsHandshake &handshake)
{
    if (m_phase >= Phase::LoggingIn || m_at.tlsDone >= 0) {
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           dataConnectionLine(m_dataAddress, handshake.resumed
                                                                 ? DataProtection::Resumed
                                                                 : DataProtection::NotResumed));
        return;
    }
    m_at.tlsDone = now();
    m_controlTls = true;
    m_protection =
        m_implicitTls ? implicitTlsProtection(handshake.protection) : handshake.protection;
    // The probe's handshake only fetches the certificate for the question.
    if (m_role == Role::Probe)
        return;
    m_reports.protocol(ProtocolEvent::Kind::Info,
                       tlsLine(handshake.protection, handshake.cipher, m_implicitTls));
    const CertificateFacts facts = certificateFactsFromDer(handshake.certificate);
    if (facts.valid)
        m_reports.protocol(ProtocolEvent::Kind::Info,
                           certificateLine(facts.subject, facts.issuer, facts.fingerprint));
}

void FtpConversation::commandSent(const QString &command)
{
    m_lastCommand = command;
    if (m_phase == Phase::Waiting)
        m_phase = Phase::Commanding; // on the pooled login
    if (m_role == Role::Close)
        return;
    // The upload's own check, not the operator's command: it is no state.
    if (m_verb == TransferVerb::Put && m_lastCommand.startsWith(QLatin1String("SIZE "))) {
        if (m_at.firstByte >= 0)
            m_at.dataEnd = now();
        m_phase = Phase::CheckingSize;
        return;
    }
    if (m_lastCommand.startsWith(QLatin1String("USER "))) {
        m_phase = Phase::LoggingIn;
        m_at.loginStart = now();
    }
    if (startsTransfer(m_lastCommand))
        m_at.requestSent = now();
    m_reports.state(TransferState::Requesting);
    m_reports.state(TransferState::RequestSent);
}

void FtpConversation::replyLine(const QString &line)
{
    connected();
    // With CURLOPT_NOBODY libcurl also passes made-up HTTP-style lines
    // ("Content-Length: ..."); the assembler starts replies at coded lines only.
    const std::optional<FtpReply> reply = m_assembler.addLine(line);
    if (!reply)
        return;
    if (m_phase == Phase::CheckingSize) {
        if (reply->code == 213)
            m_serverSize = reply->text.mid(4).trimmed().toLongLong();
        return;
    }
    m_replied = true;
    if (const std::optional<int> port = passivePort(*reply))
        m_passivePort = port;
    if (allSent() && !confirmed() && reply->code >= 200)
        m_at.confirmed = now();
    if (m_phase < Phase::Greeted) {
        m_phase = Phase::Greeted;
        m_at.greeted = now();
        m_reports.state(TransferState::Connected);
    }
    if (m_phase == Phase::LoggingIn && reply->code / 100 == 2) {
        m_phase = Phase::Commanding;
        m_at.loginDone = now();
    }
    m_reports.setReply(reply->code, reply->text);
    if (m_lastCommand == QLatin1String("FEAT") && reply->code == 211)
        m_features = reply->text.split(QLatin1Char('\n'));
    if (reply->code == 257 && m_verb == TransferVerb::Pwd)
        m_pwdFolder = folderFromPwdReply(reply->text);
    if (m_role != Role::Close)
        m_reports.state(TransferState::ResponseReceived);
}

// State 7 goes out once, when the first data moves, not for every block.
void FtpConversation::dataMoving()
{
    if (m_phase >= Phase::Transferring)
        return;
    m_phase = Phase::Transferring;
    m_at.firstByte = now();
    m_reports.state(TransferState::ReceivingResponse);
}

void FtpConversation::dataSent()
{
    if (m_verb == TransferVerb::Put && m_at.dataSent < 0)
        m_at.dataSent = now();
}
