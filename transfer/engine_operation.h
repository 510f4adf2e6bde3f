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
    EngineRequest origin;
    TlsSettings::Check check = TlsSettings::Check::Authorities;
    QString verifyFailure; // why the certificate check failed, when it did
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
    bool freshConnection = false; // this operation logged in
    bool connected = false;       // its control connection is up
    bool greeted = false;         // a reply has come in
    QString lastCommand;          // as sent, the password masked
    QString dataAddress;          // "address:port" of the last data connection tried
    QString protection;           // "TLS 1.2" once the handshake is done
    qint64 localSize = -1;        // of an upload's source
    bool checkingSize = false;    // the reply to come answers the upload's SIZE check
    qint64 serverSize = -1;
    FtpReplyAssembler reply;
    QElapsedTimer sinceProgress;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};
