#pragma once

#include <QString>
#include <QStringList>

// The operations the transfer component accepts on FTP and SFTP sites alike,
// as typed by the operator.
enum class TransferVerb {
    Get,
    Reget,
    Put,
    Reput,
    Cd,
    Cdup,
    Dir,
    Ls,
    Pwd,
    Size,
    Mkdir,
    Rmdir,
    Delete,
    Rename,
    Close,
    Check,
    Hash,
    Abort,
    Idletest,
    Soak,
    // Settings for the session's later commands, naming no server.
    Timeout,
    Keepalive,
    Proxy,
    // Raw FTP commands, sent in turn after changing into the current folder:
    // a step of an operation made of several, never typed by the operator.
    Quote,
    // A request that only shows the login is alive: NOOP on FTP, a stat of
    // the current folder on SFTP; sent by the keepalive and by IDLETEST.
    Noop
};

struct TransferCommand
{
    TransferVerb verb;
    QStringList args;
};

// Parses an operator's command: a case-insensitive verb and its arguments,
// separated by spaces; an argument with spaces goes in double quotes. Throws
// std::invalid_argument with a message naming what is wrong (unknown verb,
// missing or surplus argument, a line break or other control character,
// TIMEOUT's, KEEPALIVE's or IDLETEST's seconds other than a whole number from 1
// to MaxTimeoutSeconds, KEEPALIVE's also OFF) and
// nothing is sent. Verbs are compared in ASCII only. A message's first line
// says it all in a status bar's room; lines after it, if any, are the
// details (for an unknown verb, every command's form).
TransferCommand parseTransferCommand(const QString &text);

// How long a connection, each server reply and a stalled transfer may take
// before a command fails, in seconds, until TIMEOUT says otherwise; and the
// longest wait TIMEOUT accepts, an hour.
inline constexpr int DefaultTimeoutSeconds = 60;
inline constexpr int MaxTimeoutSeconds = 3600;
// KEEPALIVE's word for no keepalive, as parseTransferCommand hands it on
// whatever its letter case.
inline constexpr char KeepaliveOff[] = "OFF";

// Whether `verb` sets something for the session's later commands and names
// no server (TIMEOUT, KEEPALIVE, PROXY); the unknown-command message's first line, which must
// fit a status bar, leaves these to the forms after it.
bool isSessionSetting(TransferVerb verb);

// The rounds of a SOAK that names no number, and the most one may name.
inline constexpr int DefaultSoakRounds = 10;
inline constexpr int MaxSoakRounds = 100000;

// SOAK's arguments, "[rounds] [folder]": a first one of digits alone is the
// number of rounds, from 1 to MaxSoakRounds (parseTransferCommand refuses
// others), the rest the folder.
struct SoakArguments
{
    int rounds = DefaultSoakRounds;
    QString folder; // empty: the current folder
};
SoakArguments soakArguments(const QStringList &args);

// The verb's name as the operator types it: "GET" for TransferVerb::Get.
QString transferVerbName(TransferVerb verb);
// Every spelling accepted, aliases included ("GET", "RECV", ...).
QStringList ftpVerbSpellings();
