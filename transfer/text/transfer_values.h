#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTime>

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

// How long each phase of an operation took, in microseconds; -1 for a phase
// that did not happen (a reused login has no connection or login).
struct PhaseTimes
{
    qint64 resolve = -1;
    qint64 connect = -1;
    qint64 greeting = -1;
    qint64 keyExchange = -1; // SSH: from the connection to the host key accepted
    qint64 tls = -1;
    qint64 login = -1;
    qint64 firstByte = -1;
    qint64 transfer = -1;
    // An upload: from its last byte sent to the server's final reply, the
    // server's confirmation that it has the file.
    qint64 confirm = -1;
    qint64 total = 0;
    qint64 bytes = -1; // moved by a transfer; -1 when the command moves no data
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
    QStringList names; // the host names and addresses the certificate is made out to
    // A certificate's SHA-256 in upper-case hex pairs joined by colons; a host
    // key's as `ssh-keygen -lf` prints it ("SHA256:" and unpadded base64).
    QString fingerprint;
    QString keyType;      // of a host key: "ssh-ed25519" and the like
    bool changed = false; // another certificate was trusted for this server before
};

Q_DECLARE_METATYPE(ProtocolEvent)
Q_DECLARE_METATYPE(TrustQuestion)
