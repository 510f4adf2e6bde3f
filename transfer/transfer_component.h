#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTime>

#include "site_check_report.h"

// The states a transfer component reports through StateChanged.
enum class TransferState : qint16 {
    Idle = 0,
    ResolvingHost = 1,
    HostResolved = 2,
    Connecting = 3,
    Connected = 4,
    Requesting = 5,
    RequestSent = 6,
    ReceivingResponse = 7,
    ResponseReceived = 8,
    Disconnecting = 9,
    Disconnected = 10,
    Error = 11,
    ResponseCompleted = 12,
};

// One event of the conversation with the server, for the protocol log. The
// password never appears in one: its command reads "PASS ****".
struct ProtocolEvent
{
    enum class Kind {
        Sent,     // a command sent on the control connection
        Received, // one line of a server reply
        Info,     // a connection event, the start and end of an operation, its timing
        Detail,   // libcurl's own remarks, for experts
    };
    QTime time; // when it happened, to the millisecond
    Kind kind = Kind::Info;
    QString text;
};

// A question the operator must answer before an operation can go on. Nothing
// of the account has been sent when it is asked.
struct TrustQuestion
{
    enum class Kind {
        Certificate, // the server's certificate failed the check
        ClearText,   // the server does not offer encryption
        HostKey,     // an SSH server's host key is not known yet
    };
    Kind kind = Kind::Certificate;
    QString host; // as the site names it
    int port = 0;
    // For a certificate: why the check failed, and what the certificate says.
    QString reason;
    QString subject;
    QString issuer;
    QDateTime notBefore;
    QDateTime notAfter;
    // A certificate's SHA-256 in upper-case hex pairs joined by colons; a host
    // key's as `ssh-keygen -lf` prints it ("SHA256:" and unpadded base64).
    QString fingerprint;
    QString keyType;      // of a host key: "ssh-ed25519" and the like
    bool changed = false; // another certificate was trusted for this server before
};

// What the console needs of an FTP client: three settings, two calls, the last
// server reply, and a signal for every state change. Execute returns at once;
// the work goes on elsewhere and is reported through StateChanged, from the
// caller's event loop. Calls that cannot be carried out at all (a malformed command,
// no site chosen, a request still running) throw std::runtime_error with a
// message for the operator.
class TransferComponent : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QString URL() const = 0;
    virtual void setURL(const QString &url) = 0;
    virtual QString UserName() const = 0;
    virtual void setUserName(const QString &userName) = 0;
    // Write-only: nothing in the program reads the password back.
    virtual void setPassword(const QString &password) = 0;

    virtual void Execute(const QString &operation) = 0;
    // The next part, at most `size` bytes, of the data the last operation
    // retrieved; the empty string once all of it has been read.
    virtual QString GetChunk(int size) = 0;

    // The code and text of the server reply behind the state being reported.
    virtual qint32 ResponseCode() const = 0;
    virtual QString ResponseInfo() const = 0;
    virtual bool StillExecuting() const = 0;

    // The operator's answer to the last trustQuestion: the operation goes on
    // (true) or ends in the error state with nothing of the account sent.
    virtual void answerTrust(bool trusted) = 0;

Q_SIGNALS:
    void StateChanged(qint16 state);
    // Bytes moved so far and the total when known (-1 otherwise), a few times a second.
    void progressChanged(qint64 done, qint64 total);
    // An operation ended, with or without success.
    void finished(bool ok);
    // One line for the protocol log.
    void protocolEvent(const ProtocolEvent &event);
    // The running operation waits for answerTrust.
    void trustQuestion(const TrustQuestion &question);
    // What protects the current login: "TLS 1.2" and the like, "not
    // encrypted", or empty when there is no login.
    void protectionChanged(const QString &protection);
    // A step of the running site check (CHECK) has ended.
    void siteCheckStep(const SiteCheckStep &step);
};

Q_DECLARE_METATYPE(ProtocolEvent)
Q_DECLARE_METATYPE(TrustQuestion)
Q_DECLARE_METATYPE(SiteCheckStep)
