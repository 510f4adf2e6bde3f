#pragma once

#include "engine/connection_watch.h"
#include "text/failure_text.h"
#include "text/operator_log.h"
#include "text/protocol/ftp_reply.h"
#include "text/proxy_address.h"
#include "text/transfer_command.h"

#include <QElapsedTimer>

class ReportQueue;

// An FTP operation's conversation as it goes: where it stands (one phase),
// what the server said, and when each phase happened. It turns what libcurl
// and the connections report into the console's states and the operator's
// log lines.
class FtpConversation final
{
public:
    enum class Phase {
        Waiting,      // nothing has happened yet; a pooled login needs no connecting
        Connecting,   // the login's connection is being made
        Connected,    // it is up; no reply yet
        Greeted,      // the server has spoken
        LoggingIn,    // USER has gone out
        Commanding,   // logged in: the command's own steps
        Transferring, // data is moving
        CheckingSize, // an upload's size is being asked
    };
    enum class Role {
        Command, // the operator's command, reported state by state
        Probe,   // an attempt that only fetches the certificate
        Close,   // CLOSE: QUIT on the pooled login, and nothing more
    };

    // `loginEncrypted`: the pooled login's connection runs over TLS;
    // `implicitTls`: a new one speaks TLS from its first byte (ftps://).
    FtpConversation(TransferVerb verb, Role role, bool loginEncrypted, bool implicitTls,
                    ReportQueue &reports);

    // Through `proxy` every socket opens to the proxy: the log names the
    // server's `host` and `server` ("host:port") behind it instead.
    void setRoute(const QString &host, const QString &server,
                  const std::optional<ProxyAddress> &proxy);

    Phase phase() const { return m_phase; }
    bool freshLogin() const { return m_freshLogin; }
    bool replied() const { return m_replied; }
    // "TLS 1.2" once this operation's login handshake is done.
    const QString &protection() const { return m_protection; }
    const QString &pwdFolder() const { return m_pwdFolder; }
    qint64 serverSize() const { return m_serverSize; }
    // The lines of the reply to FEAT, when the request asked it.
    const QStringList &features() const { return m_features; }
    // The login's FEAT reply as an earlier command on it read it.
    void knowFeatures(const QStringList &features) { m_features = features; }
    // An upload's data has all gone out, and the server's final reply to it
    // has come.
    bool allSent() const { return m_at.dataSent >= 0; }
    bool confirmed() const { return m_at.confirmed >= 0; }
    // Why the reply under way was given up, once it broke the assembler's limits.
    std::optional<QString> replyError() const { return m_assembler.error(); }

    ConnectionListener::Socket socketOpening(const QString &address);
    void connected();
    void tlsStarted();
    void tlsEstablished(const TlsHandshake &handshake);
    void commandSent(const QString &command);
    void replyLine(const QString &line);
    void dataMoving();
    // All of an upload's data is on the connection: what follows is the wait
    // for the server's confirmation.
    void dataSent();
    void ended();

    // What is known for the sentence of a failure, beyond libcurl's own facts.
    void describe(FailureFacts &facts) const;
    // How long each phase took; `bytes` moved, -1 when the command moves none.
    PhaseTimes times(qint64 bytes) const;

private:
    qint64 now() const { return m_clock.nsecsElapsed() / 1000; }

    TransferVerb m_verb;
    Role m_role;
    ReportQueue &m_reports;
    FtpReplyAssembler m_assembler;
    Phase m_phase = Phase::Waiting;
    bool m_freshLogin = false; // this operation opened the login's connection
    bool m_replied = false;    // a reply came in during this operation
    bool m_controlTls;         // the login's connection is encrypted
    bool m_implicitTls;
    QString m_protection;
    QString m_lastCommand; // as sent, the password masked
    QString m_dataAddress; // of the last data connection
    QString m_host;
    QString m_server;
    std::optional<ProxyAddress> m_proxy;
    std::optional<int> m_passivePort; // the last passive reply's
    QString m_pwdFolder;
    qint64 m_serverSize = -1; // an upload's size on the server
    QStringList m_features;

    QElapsedTimer m_clock;
    // Microseconds since the start; -1 until it happened.
    struct Stamps
    {
        qint64 resolved = -1, connected = -1, greeted = -1, tlsStart = -1, tlsDone = -1,
               loginStart = -1, loginDone = -1, requestSent = -1, firstByte = -1, dataSent = -1,
               confirmed = -1, dataEnd = -1;
    } m_at;
};
