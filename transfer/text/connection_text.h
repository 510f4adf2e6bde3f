#pragma once

#include <QString>

// "127.0.0.1:2121", "[::1]:2121".
QString addressText(const QString &address, int port);

// The sentences FTP and SFTP share: the phase and the server, then libcurl's
// or the server's words in brackets when there are any. They need nothing of
// libcurl, so the console can tell them apart too.
QString withFailureDetail(const QString &text, const QString &detail);
QString unresolvedHostText(const QString &server, const QString &detail);
QString connectFailedText(const QString &server, const QString &detail);
// The server's host turned the connection away: nothing listens on the port.
// libcurl's words would only say the same again, so they stay in the log.
QString closedPortText(const QString &server);
