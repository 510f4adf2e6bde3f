#pragma once

#include "text/failure_text.h"

#include <QFile>
#include <QFileDevice>
#include <QString>

#include <functional>
#include <memory>

// Takes a download's data as it arrives, in place of a file (HASH's
// read-back hashes it so, and keeps none of it).
using DataSink = std::function<void(QByteArrayView)>;

// An operation's local file: the one an upload sends, or where a download's
// data goes. A download to a named file is written beside it and put in its
// place only once complete; one without a name goes to a temporary file
// that GetChunk reads back; one with a sink goes nowhere else. A resumed
// download appends to the partial file in place, and anything but success
// cuts it back to what it was.
class LocalFiles final
{
public:
    LocalFiles() = default;
    ~LocalFiles() { discard(); }
    Q_DISABLE_COPY_MOVE(LocalFiles)

    enum class Use { None, Download, Upload };

    // Opens the file before anything is sent, so a local problem costs no
    // connection and names its path. Throws std::runtime_error with the
    // sentence for the operator. A download to a named file of exactly
    // `keep` bytes appends to it (a resumed download); an upload skips them
    // (a resumed upload). A download with a `sink` opens no file at all.
    void open(Use use, const QString &path, qint64 keep = 0, DataSink sink = {});
    // The same with data in memory for the file at `path`, which is then
    // only its name: `device` is what an upload sends, or where a
    // download's bytes go, and nothing is kept for GetChunk.
    void open(Use use, const QString &path, std::shared_ptr<QIODevice> device);

    bool uploading() const { return bool(m_source); }
    bool downloading() const { return m_target || m_sink || m_memory; }
    qint64 uploadSize() const { return m_source ? m_source->size() : -1; }
    // What this upload sends: the file after the bytes it skips.
    qint64 uploadLeft() const { return m_source ? m_source->size() - m_skipped : -1; }

    // False, with failure() set, when the file takes less than all of it.
    bool write(const char *data, qint64 length);
    // -1, with failure() set, when the file cannot be read.
    qint64 read(char *data, qint64 max);
    // The first local failure, for the operator.
    const QString &failure() const { return m_failure; }

    // Keeps a complete download and gives back its data for GetChunk, or
    // null with failure() set (or when a sink took it).
    std::unique_ptr<QIODevice> commit();
    // Drops a download that is not to be kept: a file it was replacing
    // stays as it was, and no partial file is left.
    void discard();

private:
    QString m_path;
    std::unique_ptr<QFileDevice> m_target; // QSaveFile for a named file, else a temporary file
    std::shared_ptr<QIODevice> m_source;
    DataSink m_sink;
    std::shared_ptr<QIODevice> m_memory; // a download's bytes in memory
    qint64 m_skipped = 0;
    qint64 m_appendedTo = -1; // the partial file's size, while a download appends to it
    QString m_failure;
};
