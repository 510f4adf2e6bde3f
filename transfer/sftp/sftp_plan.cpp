#include "sftp/sftp_plan.h"

#include "sftp/sftp_paths.h"

namespace {

SftpStep look(const QString &path, const QString &verb, const QList<QString> &paths)
{
    SftpStep step;
    step.path = path;
    QByteArray command = verb.toLatin1();
    for (const QString &argument : paths)
        command += ' ' + sftpQuoted(argument);
    step.commands << command;
    step.action = (QStringList{verb} + paths).join(QLatin1Char(' '));
    step.subject = paths.join(QStringLiteral(" to "));
    return step;
}

SftpStep request(SftpRequestKind kind, const QString &path, const QString &action)
{
    SftpStep step;
    step.kind = kind;
    step.path = path;
    step.action = action + QLatin1Char(' ') + path;
    step.subject = path;
    return step;
}

} // namespace

SftpStep resolveStep(const RemoteFolder &folder)
{
    SftpStep step;
    step.role = SftpStep::Role::Resolve;
    step.path = sftpFolderPath(folder);
    step.commands << "pwd";
    step.action = QStringLiteral("pwd");
    step.subject = step.path;
    return step;
}

std::optional<RemoteFolder> folderFromSftpPwd(const QString &reply)
{
    // libcurl puts the path between the first and the last quote as it is,
    // quotes inside it undoubled.
    const int open = reply.indexOf(QLatin1Char('"'));
    const int close = reply.lastIndexOf(QLatin1Char('"'));
    if (!reply.startsWith(QLatin1String("257 ")) || open < 0 || close <= open + 1 ||
        reply.at(open + 1) != QLatin1Char('/'))
        return std::nullopt;
    return RemoteFolder{}.resolved(reply.mid(open + 1, close - open - 1));
}

SftpStep proveEmptyStep(const SftpStep &look)
{
    SftpStep read = request(SftpRequestKind::Download, look.path, QStringLiteral("read"));
    read.role = SftpStep::Role::ProveEmpty;
    return read;
}

RemoteFolder sftpNewFolder(const TransferCommand &command, const RemoteFolder &folder)
{
    return folder.resolved(command.verb == TransferVerb::Cd ? command.args.at(0)
                                                            : QStringLiteral(".."));
}

std::vector<SftpStep> sftpSteps(const TransferCommand &command, const RemoteFolder &folder,
                                const QString &uploadName)
{
    const QStringList &args = command.args;
    const auto path = [&](int i) { return sftpPath(folder, args.at(i)); };
    const QString root = QStringLiteral("/");
    switch (command.verb) {
    case TransferVerb::Get:
        return {request(SftpRequestKind::Download, path(0), QStringLiteral("download"))};
    case TransferVerb::Put: {
        const QString target = sftpPath(folder, uploadName);
        SftpStep check = request(SftpRequestKind::Look, target, QStringLiteral("size of"));
        check.role = SftpStep::Role::CheckSize;
        return {request(SftpRequestKind::Upload, target, QStringLiteral("upload")), check};
    }
    case TransferVerb::Cd:
    case TransferVerb::Cdup:
        // Listing the folder proves that it exists and is a folder; a
        // request that moves no data would not open it.
        return {request(SftpRequestKind::List, sftpFolderPath(sftpNewFolder(command, folder)),
                        QStringLiteral("open folder"))};
    case TransferVerb::Dir:
    case TransferVerb::Ls: {
        const RemoteFolder listed = args.isEmpty() ? folder : folder.resolved(args.at(0));
        return {request(command.verb == TransferVerb::Dir ? SftpRequestKind::List
                                                          : SftpRequestKind::ListNames,
                        sftpFolderPath(listed), QStringLiteral("list"))};
    }
    case TransferVerb::Size:
        return {request(SftpRequestKind::Look, path(0), QStringLiteral("size of"))};
    case TransferVerb::Mkdir:
        return {look(root, QStringLiteral("mkdir"), {path(0)})};
    case TransferVerb::Rmdir:
        return {look(root, QStringLiteral("rmdir"), {path(0)})};
    case TransferVerb::Delete:
        return {look(root, QStringLiteral("rm"), {path(0)})};
    case TransferVerb::Rename:
        return {look(root, QStringLiteral("rename"), {path(0), path(1)})};
    case TransferVerb::Noop:
        return {request(SftpRequestKind::Stat, sftpFolderPath(folder), QStringLiteral("stat"))};
    case TransferVerb::Pwd:
    case TransferVerb::Close:
    case TransferVerb::Abort:
    case TransferVerb::Reget: // made of a SIZE and GETs
    case TransferVerb::Reput: // made of a SIZE, a GET and a PUT
    case TransferVerb::Hash:  // made of a GET
    case TransferVerb::Soak:  // made of PUTs, SIZEs, GETs and DELETEs
    case TransferVerb::Quote: // FTP only
    case TransferVerb::Timeout:
    case TransferVerb::Keepalive:
    case TransferVerb::Idletest: // made of NOOPs
    case TransferVerb::Proxy:
        break;
    }
    return {};
}
