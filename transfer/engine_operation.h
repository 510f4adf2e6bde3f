#pragma once

#include "ftp_reply.h"
#include "request_builder.h"
#include "transfer_engine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileDevice>

#include <memory>

// The engine's running operation: its libcurl request, its files and what
// the server has said so far.
struct TransferEngine::Operation
{
    FtpVerb verb = FtpVerb::Pwd;
    PreparedRequest request;
    // Where retrieved data goes: the local file of a GET (written beside the
    // target, renamed over it only on success), or a temporary file that
    // keeps it for GetChunk.
    std::unique_ptr<QFileDevice> sink;
    std::unique_ptr<QFile> source; // PUT
    QString localError;            // a failure on this side, for ResponseInfo
    bool controlUp = false;        // a command went out or a reply came in
    bool dataFlowing = false;
    qint32 lastCode = 0; // last server reply of this operation
    QString pwdFolder;
    FtpReplyAssembler reply;
    QElapsedTimer sinceProgress;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};
