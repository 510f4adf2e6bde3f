#include "sftp/ssh_login_watch.h"

#include "engine/report_queue.h"
#include "sftp/ssh_remarks.h"

#include <QDir>
#include <QFile>

namespace {

qint64 span(qint64 from, qint64 to)
{
    return from >= 0 && to >= from ? to - from : -1;
}

QByteArray knownHostsText()
{
    QFile file(QDir::homePath() + QStringLiteral("/.ssh/known_hosts"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

SshLoginWatch::SshLoginWatch(const OperationOrder &order, const SshLogin &login,
                             const QByteArray &pin, ReportQueue &reports,
                             std::function<void()> loggedIn)
    : m_order(order), m_login(login), m_pin(pin), m_reports(reports),
      m_loggedIn(std::move(loggedIn))
{
    m_clock.start();
}

void SshLoginWatch::install(CURL *easy)
{
    setOption(easy, CURLOPT_SSH_HOSTKEYFUNCTION, &SshLoginWatch::onHostKey);
    setOption(easy, CURLOPT_SSH_HOSTKEYDATA, this);
}

void SshLoginWatch::socketOpening(const QString &address)
{
    if (!m_fresh) {
        m_fresh = true;
        m_at.resolved = now();
        m_reports.state(TransferState::ResolvingHost);
        m_reports.state(TransferState::HostResolved);
        m_reports.state(TransferState::Connecting);
    }
    m_reports.protocol(ProtocolEvent::Kind::Info,
                       connectingLine(routedAddress(address, m_order.server(), m_order.proxy)));
}

void SshLoginWatch::afterAction(CURL *easy)
{
    curl_off_t connectTime = 0;
    if (m_fresh && m_phase == Phase::Connecting &&
        curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK &&
        connectTime > 0) {
        m_phase = Phase::Connected;
        m_at.connected = now();
        m_reports.protocol(ProtocolEvent::Kind::Info, QStringLiteral("Connected"));
    }
}

int SshLoginWatch::onHostKey(void *userp, int keyType, const char *key, size_t length)
{
    auto *self = static_cast<SshLoginWatch *>(userp);
    const HostKeyVerdict verdict =
        hostKeyVerdict(self->m_pin, knownHostsText(), self->m_order.host, self->m_order.port,
                       keyType, QByteArray(key, qsizetype(length)));
    self->m_hostKey = verdict;
    self->m_phase = Phase::KeyExchanged;
    self->m_at.keyDone = self->now();
    self->m_reports.state(TransferState::Connected);
    self->m_session = takeSshSessionFacts();
    if (self->m_session) {
        self->m_reports.protocol(ProtocolEvent::Kind::Info,
                                 sshServerLine(self->m_session->serverVersion));
        self->m_reports.protocol(ProtocolEvent::Kind::Info, sshSessionLine(*self->m_session));
    }
    const HostKeyStanding standing = verdict.pinned       ? HostKeyStanding::TrustedThisSession
                                     : verdict.knownHosts ? HostKeyStanding::KnownHosts
                                                          : HostKeyStanding::NotKnown;
    self->m_reports.protocol(ProtocolEvent::Kind::Info,
                             sshHostKeyLine(verdict.keyType, verdict.fingerprint, standing));
    if (verdict.action == HostKeyVerdict::Action::Accept)
        return CURLKHMATCH_OK;
    // libcurl ends the attempt here, before any login.
    self->m_refusedKey = verdict;
    return CURLKHMATCH_MISMATCH;
}

QString SshLoginWatch::protection() const
{
    return m_session ? QStringLiteral("SSH %1").arg(m_session->cipher) : QStringLiteral("SSH");
}

OperationStep SshLoginWatch::refusedKeyStep() const
{
    const HostKeyVerdict &key = *m_refusedKey;
    if (key.action == HostKeyVerdict::Action::Refuse) {
        OperationOutcome refused;
        refused.failure =
            hostKeyChangedText(m_order.server(), key.keyType, key.fingerprint,
                               knownHostName(m_order.host, m_order.port), key.knownHosts);
        return OperationStep::finished(refused);
    }
    OperationStep step;
    step.kind = OperationStep::Kind::Ask;
    step.pin = key.fingerprint.mid(int(qstrlen("SHA256:"))).toLatin1();
    step.question.kind = TrustQuestion::Kind::HostKey;
    step.question.keyType = key.keyType;
    step.question.fingerprint = key.fingerprint;
    return step;
}

void SshLoginWatch::debugOutput(CURL *easy, curl_infotype type, QByteArrayView data)
{
    if (type == CURLINFO_TEXT)
        remark(easy, data);
    if (const std::optional<OperatorLine> line = operatorLine(type, data))
        m_reports.protocol(line->kind, line->text);
}

void SshLoginWatch::remark(CURL *easy, QByteArrayView text)
{
    const SshRemark said = sshRemark(text);
    switch (said.kind) {
    case SshRemark::Kind::None:
        break;
    case SshRemark::Kind::MethodsOffered:
        // libcurl reads the methods allowed only after this remark, when it
        // picks the first to try; setting an option is no call into the
        // transfer, so it is safe from inside the callback.
        curl_easy_setopt(easy, CURLOPT_SSH_AUTH_TYPES, oneAttempt(m_login.authTypes, said.text));
        m_offered = said.text;
        m_reports.protocol(ProtocolEvent::Kind::Info, sshMethodsLine(said.text));
        m_phase = Phase::LoggingIn;
        m_at.loginStart = now();
        m_reports.state(TransferState::Requesting);
        m_reports.state(TransferState::RequestSent);
        break;
    case SshRemark::Kind::Trying:
        // The key's own description names its file.
        m_method = said.text == QLatin1String("key") ? m_login.method : said.text;
        break;
    case SshRemark::Kind::LoggedIn: {
        m_at.loginDone = now();
        m_phase = Phase::LoggedIn;
        const QString line = sshLoginLine(m_order.user, method());
        m_reports.protocol(ProtocolEvent::Kind::Info, line);
        m_reports.setReply(0, line);
        m_reports.state(TransferState::ResponseReceived);
        m_loggedIn();
        break;
    }
    case SshRemark::Kind::Reused:
        reach(Phase::LoggedIn);
        m_loggedIn();
        break;
    }
}

void SshLoginWatch::addTimes(PhaseTimes &times) const
{
    if (!m_fresh)
        return;
    times.resolve = m_at.resolved;
    times.connect = span(m_at.resolved, m_at.connected);
    times.keyExchange = span(m_at.connected, m_at.keyDone);
    times.login = span(m_at.loginStart, m_at.loginDone);
}
