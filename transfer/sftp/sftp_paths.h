#pragma once

#include "text/protocol/remote_folder.h"

#include <QByteArray>
#include <QString>

// Paths on an SFTP server as requests name them. SFTP keeps no current folder
// on the server's side: the component keeps one, and every request names a
// path from the root. A folder below the login folder (not yet absolute,
// before the server has said where the login folder is) is written "/~/...",
// which libcurl resolves in URLs.

// The path `name` names, taken against `folder`: "/up/new.txt".
QString sftpPath(const RemoteFolder &folder, const QString &name);
// A folder's path with its trailing '/': "/up/", or "/~/up/" below the login folder.
QString sftpFolderPath(const RemoteFolder &folder);

// The URL of `path` on the server: every byte that is not a letter, digit,
// '/' or one of "-._~" percent-encoded, since libcurl decodes the path and
// an unencoded '?' or '#' would end it.
QByteArray sftpUrl(const QByteArray &serverUrl, const QString &path);

// A path as a quoted argument of libcurl's SFTP commands: in double quotes,
// with '"' and '\' escaped by a backslash, so that spaces or quotes in a
// name cannot split it into further arguments.
QByteArray sftpQuoted(const QString &path);
