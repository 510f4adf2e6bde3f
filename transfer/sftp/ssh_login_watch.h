#pragma once

#include "engine/engine_messages.h"
#include "engine/operation.h"
#include "sftp/sftp_request.h"
#include "sftp/ssh_handshake.h"
#include "sftp/ssh_host_key.h"
#include "text/failure_text.h"
#include "text/operator_log.h"

#include <QElapsedTimer>

#include <functional>
#include <optional>

class ReportQueue;

// The connection and login of an SFTP operation as libcurl shows them: the
// socket it opens, the host key it hands over, and its remarks. It reports
// the states and log lines they make, and keeps the phase reached, when each
// phase was reached, and the host key it had to refuse.
class SshLoginWatch final
{
    Q_DISABLE_COPY_MOVE(SshLoginWatch)
public:
    using Phase = SshFailureFacts::Phase;

    // `loggedIn` runs once the login stands, made now or pooled.
    SshLoginWatch(const OperationOrder &order, const SshLogin &login, const QByteArray &pin,
                  ReportQueue &reports, std::function<void()> loggedIn);

    // Sets the host key callback into `easy`, for every request.
    void install(CURL *easy);
    void socketOpening(const QString &address);
    void afterAction(CURL *easy);
    // One piece of libcurl's debug output: its remarks move the login on,
    // and what an operator reads goes to the protocol log.
    void debugOutput(CURL *easy, curl_infotype type, QByteArrayView data);
    void reach(Phase phase) { m_phase = qMax(m_phase, phase); }
    // Another login on a new connection, after the server refused one.
    void setLogin(const SshLogin &login)
    {
        m_login = login;
        m_method.clear();
        m_phase = Phase::Connecting;
    }

    Phase phase() const { return m_phase; }
    bool fresh() const { return m_fresh; }
    // The key the callback refused: to ask about, or to refuse for good.
    const std::optional<HostKeyVerdict> &refusedKey() const { return m_refusedKey; }
    // What follows the refused key: the question about an unknown key, or
    // the end of the operation with the sentence for a changed one.
    OperationStep refusedKeyStep() const;
    // The host key the server showed last, whatever was made of it.
    const std::optional<HostKeyVerdict> &hostKey() const { return m_hostKey; }
    // What the key exchange settled, when libssh2's session could be read.
    const std::optional<SshSessionFacts> &session() const { return m_session; }
    // What protects the login, for the status bar: "SSH aes128-ctr".
    QString protection() const;
    // The login methods the server listed ("publickey,password").
    const QString &offeredMethods() const { return m_offered; }
    // The login method tried, in the operator's words.
    QString method() const { return m_method.isEmpty() ? m_login.method : m_method; }
    void addTimes(PhaseTimes &times) const;

private:
    // libcurl calls this before any login; it decides at once and never
    // waits for the operator (the server's login grace time runs meanwhile).
    static int onHostKey(void *userp, int keyType, const char *key, size_t length);
    void remark(CURL *easy, QByteArrayView text);
    qint64 now() const { return m_clock.nsecsElapsed() / 1000; }

    const OperationOrder &m_order;
    SshLogin m_login;
    QByteArray m_pin; // the key trusted this session
    ReportQueue &m_reports;
    std::function<void()> m_loggedIn;
    Phase m_phase = Phase::Connecting;
    bool m_fresh = false;
    std::optional<HostKeyVerdict> m_refusedKey;
    std::optional<HostKeyVerdict> m_hostKey;
    std::optional<SshSessionFacts> m_session;
    QString m_offered;
    QString m_method;
    QElapsedTimer m_clock;
    struct Stamps
    {
        qint64 resolved = -1, connected = -1, keyDone = -1, loginStart = -1, loginDone = -1;
    } m_at;
};
