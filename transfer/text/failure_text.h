#pragma once

#include "text/connection_text.h"
#include "text/transfer_command.h"
#include "text/transfer_values.h"

#include <QString>

#include <curl/curl.h>

// What is known about an operation when libcurl gives up on it.
struct FailureFacts
{
    CURLcode result = CURLE_OK;
    QString server; // "host:port"
    QString detail; // libcurl's own words
    int timeoutSeconds = 0;
    bool refused = false;   // the server's host turned the connection away
    bool connected = false; // the control connection was up
    bool greeted = false;   // the server had said something
    qint32 lastCode = 0;    // the last reply's code
    QString lastReply;      // and its text
    QString lastCommand;    // the last command sent
    QString dataAddress;    // "address:port" of the data connection tried, if any
    bool dataFlowing = false;
    qint64 received = 0;
    qint64 expected = -1; // -1 when the server announced no size
};

// The server refused the operator's command with `reply` ("550 Could not get
// file size."): what was refused, and the reply in brackets.
QString refusalText(const TransferCommand &command, qint32 code, const QString &reply);

// One line for the operator that names the phase that failed and the server,
// with libcurl's or the server's words after it where they help.
QString failureText(const FailureFacts &facts);

// What is known about an SFTP operation when libcurl gives up on it.
struct SshFailureFacts
{
    enum class Phase {
        Connecting,   // no connection yet
        Connected,    // connected; the server's host key not seen yet
        KeyExchanged, // the host key is accepted; no login yet
        LoggingIn,    // the login is under way
        LoggedIn,     // the file operations run
        Transferring, // a file's data is moving
    };
    CURLcode result = CURLE_OK;
    QString server; // "host:port"
    QString detail; // libcurl's own words
    int timeoutSeconds = 0;
    bool refused = false; // the server's host turned the connection away
    Phase phase = Phase::Connecting;
    QString login; // how the login went about it: "password", "key ~/.ssh/id_ed25519 or agent"
    qint64 received = 0;
    qint64 expected = -1;
    bool upload = false;
    // Where the key exchange failed for want of an algorithm in common, which
    // kind, with both sides' lists (sshNothingInCommon).
    QString nothingInCommon;
};

// One line for the operator naming the phase of an SFTP operation that
// failed and the server, as failureText does for FTP. Failures with an SFTP
// status are said by sftpStatusText instead.
QString sshFailureText(const SshFailureFacts &facts);
// No SSH login can start: libssh2's own handshake function is out of reach.
QString sshHandshakeMissingText(const QString &server);

// A host key other than the one known for the server: in known_hosts, or
// trusted earlier in this session. Nothing was sent; `knownHostsName` is
// what `ssh-keygen -R` needs to clear the old key ("[host]:port").
QString hostKeyChangedText(const QString &server, const QString &keyType,
                           const QString &fingerprint, const QString &knownHostsName,
                           bool inKnownHosts);

// Why an operation could not use its local file; `path` empty for the
// temporary file that keeps retrieved data for GetChunk.
enum class LocalAction { Read, Write, Send, MakeTemporary };
QString localFileFailure(LocalAction action, const QString &path, const QString &why);

// A certificate the probe fetched but could not read.
QString unreadableCertificateText(const QString &server);
// The end of an operation whose question the operator answered No.
QString declinedTrustText(const TrustQuestion &question);

// A reply past the limits of what one reply may hold.
QString malformedReplyText(const QString &server, const QString &why);
// An upload whose data all went out, `bytes` of it, and whose final reply
// did not come within `seconds`: the file may well be on the server. "all
// 52,428,800 bytes were sent; the server did not confirm the upload within
// 30 s", and with the command "PUT to big.bin: " in front.
QString unconfirmedUploadText(qint64 bytes, int seconds);
QString unconfirmedUploadText(const TransferCommand &command, qint64 bytes, int seconds);
// An upload the server kept only part of.
QString incompleteUploadText(qint64 serverSize, qint64 localSize, const QString &path);

// A command ended by a fault of this program rather than of the server, the
// network or the operator, and what to do about it.
QString internalFaultText();

// The refusal of a command while another runs, and of GetChunk meanwhile.
inline constexpr char StillExecutingText[] =
    "Still executing the last request; wait for it to finish.";
inline constexpr char StoppedText[] = "Stopped by the operator";
