#pragma once

#include <QString>

#include <curl/curl.h>

#include <optional>

// SFTP status codes (SSH_FX_*), as far as libcurl lets them be known: it
// reports none directly, only a CURLcode and, in its error text, libssh2's
// phrase for the status ("No such file or directory"). The code is taken from
// that phrase, or from a CURLcode that stands for exactly one status; when
// neither says, there is no code, and none is made up.
std::optional<int> sftpStatus(CURLcode result, const QString &detail);

// The status in words with the path it concerns:
// "No such file: /up/missing.txt (SFTP status 2)"; without a path, "OK (SFTP status 0)".
QString sftpStatusText(int status, const QString &path);
