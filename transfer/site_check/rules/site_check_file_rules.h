#pragma once

#include "text/protocol/ftp_hash.h"
#include "text/report/site_check_report.h"

#include <QByteArray>
#include <QDateTime>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

// The rules of the steps of a site check that write a test file, check it,
// read it back and delete it: the facts each measured in, result, detail and
// the operator's hint out.

// Step 11. The name of the test file: unique per run, recognisable.
QString siteCheckFileName(const QDateTime &nowUtc, QRandomGenerator &random);
// The test file: 256 KiB of random bytes with CR, LF, NUL and 0x1A (the old
// end-of-file mark) in the first KiB, so any conversion on the way shows.
QByteArray siteCheckPayload(QRandomGenerator &random);
// Whether a reply to STOR means the account may not write there.
bool isWriteRefusal(int code);
// "the account cannot write in FOLDER": the detail of the write step and of
// the steps after it when STOR was refused.
QString writeRefusedText(const QString &folder);
// The reply to STOR of `bytes` bytes into `folder`.
SiteCheckOutcome writeOutcome(int code, const QString &text, const QString &folder, qint64 bytes);
// The same for any protocol: `said` is the refusal in the server's words,
// empty when the upload went through; `refused` when the account may not
// write there.
SiteCheckOutcome uploadOutcome(const QString &said, bool refused, const QString &folder,
                               qint64 bytes);

// Step 11 beside the write: how long after the test file's last byte the
// server confirmed it (-1: not measured, skipped); a warning past
// SlowConfirmationMs, since clients that wait less for that reply report
// a failure although the file arrived.
inline constexpr qint64 SlowConfirmationMs = 1000;
SiteCheckOutcome confirmationOutcome(qint64 confirmMs);

// Step 12 is the combinedOutcome of sizeOutcome, clockOutcome and
// hashOutcome: each skips itself when the server lacks its command.
// The server's size of the test file against the bytes sent; -1
// when SIZE gave none.
SiteCheckOutcome sizeOutcome(qint64 sent, qint64 reported);
// The time of an MDTM reply ("213 YYYYMMDDHHMMSS[.sss]") in UTC; invalid
// when the reply says something else.
QDateTime mdtmTime(const QString &reply);
// The file's time on the server against this machine's UTC clock when the
// upload ended.
SiteCheckOutcome clockOutcome(const QString &mdtmReply, const QDateTime &uploadEndedUtc);

SiteCheckOutcome hashOutcome(const HashCommand &hash, const QString &local, const QString &remote);

// Step 13: the download against what was sent.
SiteCheckOutcome readBackOutcome(const QByteArray &sent, const QByteArray &received,
                                 qint64 firstByteMs, qint64 elapsedMs);

// Step 14: the reply to DELE and whether the file still shows afterwards.
SiteCheckOutcome cleanUpOutcome(int code, const QString &text, const QString &path,
                                bool stillThere);
