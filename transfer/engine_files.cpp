// The engine's side of an operation's local files: which files may be sent,
// and where retrieved data goes.
#include "engine_operation.h"
#include "transfer_engine.h"

#include <QSaveFile>
#include <QTemporaryFile>

#include <sys/stat.h>

namespace {

QString kindOf(const struct stat &info)
{
    if (S_ISREG(info.st_mode))
        return {};
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("it is a folder");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("it is a named pipe, not a regular file");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return QStringLiteral("it is a device, not a regular file");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

// Empty for a regular file (or a link to one), else what it is; a missing
// file is left to the open that follows, which names the reason.
QString nonRegularKind(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return kindOf(info);
}

QString nonRegularKind(int descriptor)
{
    struct stat info;
    if (::fstat(descriptor, &info) != 0)
        return QStringLiteral("it cannot be examined");
    return kindOf(info);
}

} // namespace

// Opens the local files before anything is sent, so a local problem costs no
// connection and names its path.
void TransferEngine::openFiles(Operation &op)
{
    const QString &local = op.request.localName;
    const auto cannot = [&](const QString &what, const QString &why) {
        return std::runtime_error(
            QStringLiteral("Cannot %1 the local file %2: %3").arg(what, local, why).toStdString());
    };
    switch (op.request.data) {
    case PreparedRequest::Data::None:
        return;
    case PreparedRequest::Data::Upload: {
        // Only a regular file has an end to send: a device such as /dev/zero
        // would upload forever, and a pipe has no size to check against.
        // Checked before opening, as opening a pipe waits for its writer.
        const QString kind = nonRegularKind(local);
        if (!kind.isEmpty())
            throw cannot(QStringLiteral("send"), kind);
        op.source = std::make_unique<QFile>(local);
        if (!op.source->open(QIODevice::ReadOnly))
            throw cannot(QStringLiteral("read"), op.source->errorString());
        if (!nonRegularKind(op.source->handle()).isEmpty())
            throw cannot(QStringLiteral("send"), QStringLiteral("it is not a regular file"));
        return;
    }
    case PreparedRequest::Data::Download:
        if (local.isEmpty()) {
            auto spool = std::make_unique<QTemporaryFile>();
            if (!spool->open())
                throw std::runtime_error(
                    QStringLiteral("Cannot make a temporary file for the retrieved data: %1")
                        .arg(spool->errorString())
                        .toStdString());
            op.sink = std::move(spool);
        } else {
            auto target = std::make_unique<QSaveFile>(local);
            if (!target->open(QIODevice::WriteOnly))
                throw cannot(QStringLiteral("write"), target->errorString());
            op.sink = std::move(target);
        }
        return;
    }
}
