#pragma once

#include <QtGlobal>

// REGET and HASH over FTP on loopback, every file in RAM:
//   - REGET of the second half of a file against a GET of the whole, on
//     vsftpd: the bytes each moved (vsftpd's transfer log) and their rates;
//   - HASH of the file computed by the server (pyftpdlib with HASH) against
//     HASH from a read-back (the same pyftpdlib, without HASH) and against
//     the curl tool's download of it piped through sha256sum.
// Medians over five rounds, each figure against its target; 0 when every
// target was met and nothing failed.
int measureIntegrity(qint64 size);
