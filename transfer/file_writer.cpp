#include "file_writer.h"

#include <QSaveFile>

namespace {

constexpr qint64 HighWater = 16 << 20; // queued bytes before the transfer pauses
constexpr qint64 LowWater = 4 << 20;   // queued bytes at which it resumes

} // namespace

// Lives on the writer thread; every call reaches it as a queued call, in order.
class FileWriter::Worker final : public QObject
{
public:
    Worker(FileWriter *owner, QFileDevice *file) : m_owner(owner), m_file(file) {}

    void write(const QByteArray &data)
    {
        if (m_error.isEmpty() && m_file->write(data) != data.size()) {
            m_error = m_file->errorString();
            m_owner->m_failed = true;
        }
        const qint64 left = m_owner->m_queued -= data.size();
        if (left <= LowWater && left + data.size() > LowWater)
            Q_EMIT m_owner->drained();
    }

    void finish(bool keep, QThread *home)
    {
        auto *saveFile = qobject_cast<QSaveFile *>(m_file);
        bool ok = keep && m_error.isEmpty();
        if (saveFile) {
            if (!ok)
                saveFile->cancelWriting();
            else if (!saveFile->commit()) {
                ok = false;
                m_error = saveFile->errorString();
            }
        } else if (ok && !m_file->flush()) {
            ok = false;
            m_error = m_file->errorString();
        }
        m_file->moveToThread(home);
        Q_EMIT m_owner->finished(ok, m_error);
    }

private:
    FileWriter *m_owner;
    QFileDevice *m_file;
    QString m_error;
};

FileWriter::FileWriter(std::unique_ptr<QFileDevice> file)
    : m_worker(new Worker(this, file.get())), m_file(std::move(file))
{
    m_thread.setObjectName(QStringLiteral("download writer"));
    m_worker->moveToThread(&m_thread);
    m_file->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

FileWriter::~FileWriter()
{
    m_thread.quit();
    m_thread.wait();
    // A file never finished is dropped here: a QSaveFile discards its
    // temporary file when destroyed without commit.
}

bool FileWriter::write(const char *data, qint64 size)
{
    if (m_queued.load() > HighWater)
        return false;
    m_queued += size;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, chunk = QByteArray(data, size)] { worker->write(chunk); },
        Qt::QueuedConnection);
    return true;
}

void FileWriter::finish(bool keep)
{
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, keep, home = thread()] { worker->finish(keep, home); },
        Qt::QueuedConnection);
}

std::unique_ptr<QFileDevice> FileWriter::takeFile()
{
    return std::move(m_file);
}
