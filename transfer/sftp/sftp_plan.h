#pragma once

#include "sftp/sftp_request.h"
#include "text/protocol/remote_folder.h"
#include "text/transfer_command.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

// The SFTP requests that carry out one operator command. Each names an
// absolute path; commands taken relative are taken against the component's
// folder.
struct SftpStep
{
    enum class Role {
        Resolve,   // learns the folder's absolute path from libcurl's "pwd"
        Main,      // the command itself
        CheckSize, // an upload's size on the server, afterwards
        // SIZE where libcurl said none, which it does for an empty file: a
        // read of the file that must end with no data to prove it empty
        ProveEmpty,
    };
    Role role = Role::Main;
    SftpRequestKind kind = SftpRequestKind::Look;
    QString path;               // what the request's URL names
    QList<QByteArray> commands; // libcurl's SFTP commands, run after the login
    QString action;             // in the operator's words: "mkdir /up/new"
    QString subject;            // the path or paths it concerns, for its result
};

// Asks for the folder's path from the root: libcurl resolves a "/~/" URL
// against the login folder and its "pwd" says the result, sending nothing.
SftpStep resolveStep(const RemoteFolder &folder);

// The folder a "pwd" reply names ("257 \"/up/\" is current directory."), as
// an absolute folder; nothing when the reply names none.
std::optional<RemoteFolder> folderFromSftpPwd(const QString &reply);

// The requests for `command` in the absolute `folder`; the upload's size
// check follows the upload.
std::vector<SftpStep> sftpSteps(const TransferCommand &command, const RemoteFolder &folder,
                                const QString &uploadName);

// The read that follows a SIZE request `look` that learnt no size.
SftpStep proveEmptyStep(const SftpStep &look);

// The folder CD or CDUP leads to.
RemoteFolder sftpNewFolder(const TransferCommand &command, const RemoteFolder &folder);
