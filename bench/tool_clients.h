#pragma once

#include "transfer_clients.h"

#include <QStringList>

// The command-line clients of the transfer benchmark, each run to its end
// and timed, by the clock and by the CPU it used.

// The curl tool on one URL; `arguments` say where the data comes from or goes.
Timing curlTransfer(const Endpoint &server, const QString &remote, const QStringList &arguments);
// The curl tool's download of `remote` piped through sha256sum, whose line
// `sha256sum` receives.
Timing curlHashed(const Endpoint &server, const QString &remote, QByteArray *sha256sum);
// One curl invocation fetching every file of the series over one connection.
Timing curlDownloads(const Endpoint &server, const FileList &files);
// One curl invocation on one connection doing a soak's rounds: for each
// pair of `files` (local, remote) an upload, a download and a DELE.
Timing curlRounds(const Endpoint &server, const FileList &files);
// lftp on one login, running `command`.
Timing lftpCommand(const Endpoint &server, const QString &command);
// OpenSSH's sftp on one login, with a batch of `verb` ("get", "put") commands,
// one for each pair of its arguments.
Timing sftpBatch(const Endpoint &server, const QString &verb, const FileList &arguments);
