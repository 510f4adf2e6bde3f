#pragma once

#include "engine/curl_handles.h"
#include "engine/engine_messages.h"

#include <QString>

#include <vector>

// How an SFTP login proves the account: the site's password (by "password"
// or "keyboard-interactive"), or, with an empty password, the operator's
// SSH agent and key.
struct SshLogin
{
    long authTypes = 0; // CURLSSH_AUTH_*
    QString keyFile;    // the private key offered; empty: no key file
    QString method;     // in the operator's words, for the log and failures
};

// The logins to try for `password`, in turn, with `home` the operator's home
// folder: the password alone; or, with an empty password, the SSH agent
// (when `agent`: there is one), then ~/.ssh/id_ed25519, then ~/.ssh/id_ecdsa,
// those that exist. Each is one login attempt of its own, since libcurl
// would try a key file before the agent. A key file is always named, since
// libcurl would otherwise try ~/.ssh/id_rsa on its own.
std::vector<SshLogin> sshLoginsFor(const QString &password, const QString &home, bool agent);

// One login attempt only: once the server has listed its methods, a password
// goes by "password" when the server offers it, and by keyboard-interactive
// only when it does not (libcurl would otherwise try both, two attempts on
// the server's count). Other logins stay as they are.
long oneAttempt(long authTypes, const QString &offeredMethods);

// What one SFTP request does.
enum class SftpRequestKind {
    Look,      // connects, logs in, runs the commands; moves no data
    Stat,      // as Look, and asks for the path's attributes
    Download,  // a file's data
    Upload,    // a file's data
    List,      // a folder listing, "ls -l" style
    ListNames, // the names in a folder
};

// Resets `easy` and sets one SFTP request to `url` into it: the account and
// its login, time limits and buffers. The caller adds its callbacks, the
// host key check and the commands. Throws std::runtime_error when libcurl
// refuses an option.
void prepareSftpRequest(CURL *easy, const OperationOrder &order, const SshLogin &login,
                        SftpRequestKind kind, const QByteArray &url);
