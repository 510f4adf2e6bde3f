#pragma once

#include <QObject>
#include <QString>

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

// What the console needs of an FTP client: three settings, two calls, the last
// server reply, and a signal for every state change. Execute returns at once;
// the work is carried out on the caller's event loop and reported through
// StateChanged. Calls that cannot be carried out at all (a malformed command,
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

Q_SIGNALS:
    void StateChanged(qint16 state);
    // Bytes moved so far and the total when known (-1 otherwise), a few times a second.
    void progressChanged(qint64 done, qint64 total);
    // An operation ended, with or without success.
    void finished(bool ok);
};
