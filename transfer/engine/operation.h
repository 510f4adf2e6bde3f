#pragma once

#include "engine/engine_messages.h"
#include "engine/local_files.h"
#include "engine/tls_trust.h"
#include "text/operator_log.h"

#include <curl/curl.h>

#include <functional>
#include <memory>
#include <optional>

class ConnectionWatch;
class ReportQueue;

// How an operation ended, for the engine to report.
struct OperationOutcome
{
    bool ok = false;
    // This side's sentence for the failure; empty when the server's own
    // reply says it (a 550 stays as the server put it).
    QString failure;
    // What ResponseInfo shows after a success, when the operation has more
    // to say than the server's last reply.
    QString summary;
    qint32 code = 0; // the server's refusal behind the failure, if there was one
    std::shared_ptr<QIODevice> retrieved; // what GetChunk reads back
    std::optional<RemoteFolder> folder;   // where the folder commands led
    bool freshLogin = false;              // this operation logged in
    QString protection;                   // of that login, when it stands
    bool announcedUtf8 = false;           // that login was told about UTF-8
    QString loginLost; // why the kept login is gone or in doubt; empty while it stands
    PhaseTimes times;
    // An upload ordered with checkUpload: what FEAT listed, and the digest
    // of what went out by the hash it offers (empty when it offers none).
    QStringList features;
    QString sentDigest;
};

// What follows when libcurl has finished an operation's transfer.
struct OperationStep
{
    enum class Kind {
        Finished, // the operation is over: report `outcome`
        Continue, // it has set its handle up for its next request: run it
        Retry,    // start it anew under `check`, for `reason`
        Ask,      // put `question` to the operator; on Yes trust `pin`
        Wait,     // call resume() after `waitMs`, with no request running
    };
    Kind kind = Kind::Finished;
    OperationOutcome outcome;
    TlsSettings::Check check = TlsSettings::Check::Authorities;
    QString reason;
    TrustQuestion question;
    QByteArray pin;
    int waitMs = 0;

    static OperationStep finished(OperationOutcome outcome)
    {
        OperationStep step;
        step.outcome = std::move(outcome);
        return step;
    }
};

// What an operation is given to run with.
struct OperationContext
{
    CURL *easy = nullptr; // the engine's one handle, reset before each operation
    ReportQueue &reports;
    ConnectionWatch &watch;
    CURLSH *share = nullptr; // TLS sessions shared by every operation
    ServerTrust trust;       // what the operator decided about this server
    // This attempt: how the server's certificate is checked, and why the
    // last check failed when this is a second attempt.
    TlsSettings::Check check = TlsSettings::Check::Authorities;
    QString reason;
    bool announceUtf8 = false;   // the pooled login has not been told about UTF-8 yet
    bool loginEncrypted = false; // the pooled login runs over TLS
    DataSink sink;               // takes a download's data in place of a file
    // The pooled login's FEAT reply, once an operation asked for it: the
    // same login's next upload need not ask again.
    std::optional<QStringList> loginFeatures;
    // How long the pooled login has been idle, in milliseconds; -1 with none.
    qint64 idleMs = -1;
};

// One running command, whatever its protocol, as the engine drives it. It
// owns all that libcurl points at while it runs, and its destructor leaves
// the handle pointing at nothing of its own.
class Operation
{
public:
    virtual ~Operation() = default;
    virtual CURL *easy() const = 0;
    virtual const OperationOrder &order() const = 0;
    // After each call into libcurl, when libcurl may be called again.
    virtual void afterAction() {}
    virtual OperationStep done(CURLcode result) = 0;
    // The operator stopped it: ends it now, with the outcome to report.
    virtual OperationOutcome stop() = 0;
    // The operator stopped it. An operation that must undo something on
    // the server first (a site check's test file) may set its handle up for
    // one short request and say Continue: the engine runs it like any
    // other, and done() ends the operation. Stopped again meanwhile, it
    // ends at once.
    virtual OperationStep stopping() { return OperationStep::finished(stop()); }
    // The wait it asked for is over: what follows, as after done().
    virtual OperationStep resume() { return OperationStep::finished(stop()); }
};

// Makes the operation for an order, of the kind its command and server ask
// for; handed to the engine, which knows no protocol of its own.
using OperationFactory =
    std::function<std::unique_ptr<Operation>(const OperationOrder &, const OperationContext &)>;
