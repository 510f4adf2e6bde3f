#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>

class QFileDevice;

// Writes downloaded data to its local file on a thread of its own. A busy
// disk (a full write-back queue, the sync QSaveFile does before its rename)
// can block a write for hundreds of milliseconds; on the thread that drives
// the transfer that would freeze the window. The caller pauses the transfer
// while write() says the queue is full and resumes it on drained().
class FileWriter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileWriter)
public:
    // `file` is open for writing; the writer owns it until takeFile().
    explicit FileWriter(std::unique_ptr<QFileDevice> file);
    ~FileWriter() override;

    // Queues data to be written. Returns false, taking nothing, while more
    // than a few megabytes wait.
    bool write(const char *data, qint64 size);
    // The first write that failed, if any; later data is dropped.
    bool failed() const { return m_failed.load(); }

    // Writes what is queued, then keeps the file (QSaveFile: commits it) or
    // discards it (QSaveFile: cancels it), and emits finished.
    void finish(bool keep);
    // After finished: the file, back on the caller's thread.
    std::unique_ptr<QFileDevice> takeFile();

Q_SIGNALS:
    void drained();
    // `error` is the first write that failed, empty when none did.
    void finished(bool ok, const QString &error);

private:
    class Worker;

    QThread m_thread;
    Worker *m_worker;
    std::unique_ptr<QFileDevice> m_file;
    std::atomic<qint64> m_queued{0};
    std::atomic<bool> m_failed{false};
};
