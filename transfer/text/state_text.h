#pragma once

#include "text/transfer_command.h"
#include "text/transfer_values.h"

#include <QString>

// What the states mean to the operator, from one table: "3 connecting".
QString transferStateName(TransferState state);
// Every state with its number, one a line, for the state box's tooltip.
QString transferStateList();
// What a running command is doing, for the status bar: "3 connecting to
// 10.0.0.1:21"; empty for the states in which no command runs (0, 11, 12).
QString runningStateText(TransferState state, const QString &server);

// What a command that ended well did, for the status bar: "Downloaded
// 38.1 MiB in 10.2 s (3.8 MiB/s) to /home/you/dl/big.bin", and for data kept
// for Get Chunk that it waits there. Empty for a command that moved no data.
QString commandDoneText(const TransferCommand &command, const PhaseTimes &times);
// Where PUT puts its file: the remote name given, else the local file's name.
QString uploadRemoteName(const TransferCommand &command);

// What TIMEOUT answers: the wait now in force for every server reply, just
// set (`changed`) or asked for.
QString timeoutText(int seconds, bool changed);

// Get Chunk found nothing more to show.
inline constexpr char NoMoreDataText[] =
    "Nothing more to show: Get Chunk has shown all the data the last command retrieved.";
