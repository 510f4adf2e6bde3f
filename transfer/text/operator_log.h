#pragma once

#include "text/connection_text.h"
#include "text/protocol/ssh_session_facts.h"
#include "text/transfer_command.h"
#include "text/transfer_values.h"

#include <QByteArrayView>
#include <QString>

#include <curl/curl.h>

#include <optional>

// A count with its thousands grouped as the log writes them: "4,194,304".
QString groupedNumber(qint64 number);

// The protocol log in the operator's words: which of libcurl's output an
// operator reads, and the sentences the engine adds of its own. Pure, so each
// wording is fixed in one place and tested by a table.

struct OperatorLine
{
    ProtocolEvent::Kind kind = ProtocolEvent::Kind::Info;
    QString text;
};

// A line as libcurl hands it over, without its CR LF.
QByteArrayView withoutLineEnd(QByteArrayView data);

// One piece of libcurl's debug output: a command as sent (the password
// masked), a reply line as received, libcurl's own remarks as details (their
// wording changes between libcurl versions and is full of bookkeeping), and
// nothing for the data itself.
std::optional<OperatorLine> operatorLine(curl_infotype type, QByteArrayView data);

// "GET readme.txt to C:\readme.txt", "CD docs": the operation as it starts.
QString startLine(const TransferCommand &command);
// "GET done: 5,000 bytes in 0.01 s", "CD failed: 550 No such file".
QString outcomeLine(const TransferCommand &command, bool ok, const QString &reply,
                    const PhaseTimes &times);
// "Timing: resolve 0.1 ms, connect 0.2 ms, ..., total 4.1 ms; 5,000 bytes at 1.2 MiB/s";
// a phase of a second or more in seconds ("confirm 41.2 s").
QString timingLine(const PhaseTimes &times);

QString connectingLine(const QString &address);
// "TLS 1.2 established (ECDHE-RSA-AES256-GCM-SHA384)"; with `implicitTls`,
// a connection that spoke TLS from its first byte (ftps://), "TLS 1.2
// established, implicit TLS (...)".
QString tlsLine(const QString &protection, const QString &cipher, bool implicitTls = false);
// What protects a login under implicit TLS, for the indicator: "TLS 1.2, implicit TLS".
QString implicitTlsProtection(const QString &protection);
// "Certificate: CN=x; issued by CN=y; SHA-256 AB:CD:...".
QString certificateLine(const QString &subject, const QString &issuer, const QString &fingerprint);

enum class DataProtection { Clear, Resumed, NotResumed };
// "Data connection to 127.0.0.1:55321, TLS session resumed".
QString dataConnectionLine(const QString &address, DataProtection protection);

// "Server: SSH-2.0-OpenSSH_9.2p1".
QString sshServerLine(const QString &version);
// "SSH established (aes128-ctr, MAC hmac-sha2-256, key exchange curve25519-sha256,
// host key ecdsa-sha2-nistp256)".
QString sshSessionLine(const SshSessionFacts &session);
// Where an SSH server's host key stands with this console.
enum class HostKeyStanding { KnownHosts, TrustedThisSession, NotKnown };
// "SSH key exchange done; host key ssh-ed25519 SHA256:... is in ~/.ssh/known_hosts".
QString sshHostKeyLine(const QString &keyType, const QString &fingerprint,
                       HostKeyStanding standing);
// "The server offers login by: publickey,password".
QString sshMethodsLine(const QString &methods);
// "Logged in as demouser by password".
QString sshLoginLine(const QString &user, const QString &method);
// One SFTP file operation and its result: "mkdir /up/new: OK (SFTP status 0)".
QString sftpActionLine(const QString &action, const QString &result);

// The question put to the operator, and the answer.
QString trustQuestionLine(const TrustQuestion &question);
QString trustAnswerLine(const TrustQuestion &question, bool trusted);
