#pragma once

#include "text/report/site_check_report.h"
#include "text/report/soak_report.h"
#include "text/transfer_values.h"

#include <QObject>
#include <QString>

// What the console needs of a transfer client (FTP, FTPS, SFTP): three settings, two calls, the
// last server reply, and a signal for every state change. Execute returns at once; the work goes on
// elsewhere and is reported through StateChanged, from the caller's event loop. Calls that cannot
// be carried out at all (a malformed command, no site chosen, a request still running) throw
// std::runtime_error with a message for the operator.
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
    // A command ended well, saying what it did ("Downloaded 1.2 MiB in
    // 0.4 s (3.0 MiB/s) to /home/you/a.txt"); empty when its states say it
    // all. Comes just before finished.
    void commandDone(const QString &what);
    // An operation ended, with or without success.
    void finished(bool ok);
    // One line for the protocol log.
    void protocolEvent(const ProtocolEvent &event);
    // The running operation waits for answerTrust.
    void trustQuestion(const TrustQuestion &question);
    // What protects the current login: "TLS 1.2" and the like, "not
    // encrypted", or empty when there is no login.
    void protectionChanged(const QString &protection);
    // A site check (CHECK) has been accepted, before its first step: what it
    // checks as its report names it ("ftp://host:port/folder", no account),
    // and the operation as it was given.
    void siteCheckStarted(const QString &target, const QString &operation);
    // A step of the running site check (CHECK) has ended.
    void siteCheckStep(const SiteCheckStep &step);
    // A step of the running site check has begun.
    void siteCheckProgress(const SiteCheckProgress &progress);
    // A soak (SOAK) has been accepted, before its first round: what it
    // soaks ("ftp://host:port/folder", no account), and the operation as
    // it was given.
    void soakStarted(const QString &target, const QString &operation);
    // A round of the running soak has ended, its file deleted if it could be.
    void soakRound(const SoakRound &round);
};

Q_DECLARE_METATYPE(SiteCheckStep)
Q_DECLARE_METATYPE(SiteCheckProgress)
Q_DECLARE_METATYPE(SoakRound)
