#include "engine/local_files.h"

#include <QSaveFile>
#include <QTemporaryFile>

#include <stdexcept>

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

[[noreturn]] void refuse(LocalAction action, const QString &path, const QString &why)
{
    throw std::runtime_error(localFileFailure(action, path, why).toStdString());
}

} // namespace

void LocalFiles::open(Use use, const QString &path, qint64 keep, DataSink sink)
{
    m_path = path;
    switch (use) {
    case Use::None:
        return;
    case Use::Upload: {
        // Only a regular file has an end to send: a device such as /dev/zero
        // would upload forever, and a pipe has no size to check against.
        // Checked before opening, as opening a pipe waits for its writer.
        const QString kind = nonRegularKind(path);
        if (!kind.isEmpty())
            refuse(LocalAction::Send, path, kind);
        auto source = std::make_shared<QFile>(path);
        m_source = source;
        if (!source->open(QIODevice::ReadOnly))
            refuse(LocalAction::Read, path, source->errorString());
        if (!nonRegularKind(source->handle()).isEmpty())
            refuse(LocalAction::Send, path, QStringLiteral("it is not a regular file"));
        if (keep > 0 && (keep > m_source->size() || !m_source->seek(keep)))
            refuse(LocalAction::Read, path, QStringLiteral("it is shorter than before"));
        m_skipped = keep;
        return;
    }
    case Use::Download:
        if (sink) {
            m_sink = std::move(sink);
        } else if (path.isEmpty()) {
            auto spool = std::make_unique<QTemporaryFile>();
            if (!spool->open())
                refuse(LocalAction::MakeTemporary, path, spool->errorString());
            m_target = std::move(spool);
        } else if (keep > 0) {
            // Copying the partial file first would cost as much as fetching
            // the rest on a fast line.
            auto target = std::make_unique<QFile>(path);
            if (!target->open(QIODevice::ReadWrite))
                refuse(LocalAction::Write, path, target->errorString());
            if (target->size() != keep || !target->seek(keep))
                refuse(LocalAction::Write, path,
                       QStringLiteral("its size changed after it was compared"));
            m_appendedTo = keep;
            m_target = std::move(target);
        } else {
            auto target = std::make_unique<QSaveFile>(path);
            if (!target->open(QIODevice::WriteOnly))
                refuse(LocalAction::Write, path, target->errorString());
            m_target = std::move(target);
        }
        return;
    }
}

void LocalFiles::open(Use use, const QString &path, std::shared_ptr<QIODevice> device)
{
    m_path = path;
    if (use == Use::Upload)
        m_source = std::move(device);
    else if (use == Use::Download)
        m_memory = std::move(device);
}

bool LocalFiles::write(const char *data, qint64 length)
{
    if (m_sink)
        m_sink(QByteArrayView(data, length));
    QIODevice *target = m_memory ? m_memory.get() : m_target.get();
    if (!target)
        return true;
    if (target->write(data, length) == length)
        return true;
    if (m_failure.isEmpty())
        m_failure = localFileFailure(LocalAction::Write, m_path, target->errorString());
    return false;
}

qint64 LocalFiles::read(char *data, qint64 max)
{
    const qint64 read = m_source->read(data, max);
    if (read < 0 && m_failure.isEmpty())
        m_failure = localFileFailure(LocalAction::Read, m_path, m_source->errorString());
    return read;
}

std::unique_ptr<QIODevice> LocalFiles::commit()
{
    m_memory.reset(); // its owner has what it needs of it
    if (!m_target)
        return nullptr;
    if (m_appendedTo >= 0 && !m_target->flush()) {
        m_failure = localFileFailure(LocalAction::Write, m_path, m_target->errorString());
        discard();
        return nullptr;
    }
    m_appendedTo = -1;
    std::unique_ptr<QFileDevice> target = std::move(m_target);
    auto *saveFile = qobject_cast<QSaveFile *>(target.get());
    if (saveFile || !m_path.isEmpty()) {
        if (saveFile && !saveFile->commit()) {
            m_failure = localFileFailure(LocalAction::Write, m_path, saveFile->errorString());
            return nullptr;
        }
        // GetChunk reads the file where it now stands.
        auto readBack = std::make_unique<QFile>(m_path);
        if (!readBack->open(QIODevice::ReadOnly))
            return nullptr;
        return readBack;
    }
    if (!target->flush() || !target->seek(0)) {
        m_failure = localFileFailure(LocalAction::Write, {}, target->errorString());
        return nullptr;
    }
    return target;
}

void LocalFiles::discard()
{
    // Not committed, a QSaveFile removes its temporary file and leaves the
    // target as it was; a temporary file goes with its object; a partial
    // file goes back to its size before the rest was appended.
    if (m_appendedTo >= 0 && m_target && !m_target->resize(m_appendedTo) && m_failure.isEmpty())
        m_failure = localFileFailure(LocalAction::Write, m_path, m_target->errorString());
    m_appendedTo = -1;
    m_target.reset();
    m_memory.reset();
}
