#pragma once

#include "text/protocol/remote_folder.h"
#include "text/proxy_address.h"
#include "text/report/site_check_report.h"
#include "text/report/soak_report.h"
#include "text/transfer_command.h"
#include "text/transfer_values.h"

#include <QIODevice>

#include <memory>
#include <optional>
#include <vector>

// The protocol a site speaks, as its address's scheme names it.
enum class TransferProtocol { Ftp, Sftp };

// What the facade orders the engine thread to do: one command and all it
// needs, copied, so the two threads share no state.
struct OperationOrder
{
    TransferCommand command;
    TransferProtocol protocol = TransferProtocol::Ftp;
    // FTP with TLS from the first byte on every connection (ftps://): the
    // login and all data protected, never clear text.
    bool implicitTls = false;
    QByteArray
        serverUrl; // "ftp://host:port", "ftps://..." or "sftp://...", no path, no credentials
    QString host;
    int port = 21;
    QString user;
    QString password;
    RemoteFolder folder;
    int timeoutSeconds = DefaultTimeoutSeconds;
    // The proxy every connection goes through; none: straight to the server.
    std::optional<ProxyAddress> proxy;
    bool newLogin = false; // the site or account changed: drop the pooled login first
    // Off this machine a clear-text login needs the operator's consent.
    bool clearTextNeedsConsent = true;
    // A transfer's part: the bytes from `resumeFrom` on, appended to the
    // first `resumeFrom` bytes of the local file (a download) or of the
    // server's (an upload); or the bytes `range` ("first-last") alone.
    qint64 resumeFrom = 0;
    QByteArray range;
    // An FTP upload asks FEAT first and hashes what it sends by a hash the
    // server offers, for the server's hash of the stored file to be
    // compared with afterwards.
    bool checkUpload = false;
    // How near its end a certificate may be before a site check warns or fails.
    CertificateLimits certificateLimits;
    // How a soak (SOAK) sizes its rounds.
    SoakSettings soak;
    // An upload's bytes made, or a download's bytes taken, in memory instead
    // of a local file, whose name is then only a label: a soak's rounds set
    // it on the requests they run.
    std::shared_ptr<QIODevice> memoryData;

    // "host:port", as messages name the server.
    QString server() const { return host + QLatin1Char(':') + QString::number(port); }
};

// One report from the engine thread, delivered to the facade in order.
struct EngineReport
{
    enum class Kind {
        State,
        Progress,
        Protocol,
        Question,
        Protection,
        SiteCheckStep,
        SiteCheckProgress,
        SoakRound,
        Finished
    };
    Kind kind = Kind::State;

    // State: the state and the server reply behind it.
    TransferState state = TransferState::Idle;
    qint32 code = 0;
    QString info;
    // Progress
    qint64 done = 0;
    qint64 total = -1;
    ProtocolEvent event;
    TrustQuestion question;
    QString protection;
    SiteCheckStep siteCheckStep;
    SiteCheckProgress siteCheckProgress;
    SoakRound soakRound;
    // Finished: the outcome, what it did for the status bar, the data
    // GetChunk reads back, the new folder.
    bool ok = false;
    QString doneText;
    std::shared_ptr<QIODevice> retrieved;
    std::optional<RemoteFolder> folder;
};

using EngineReports = std::vector<EngineReport>;
