#pragma once

#include "text/failure_text.h"

#include <QFile>
#include <QFileDevice>
#include <QString>

#include <memory>

// An operation's local file: the one an upload sends, or where a download's
// data goes. A download to a named file is written beside it and put in its
// place only once complete; one without a name goes to a temporary file
// that GetChunk reads back.
class LocalFiles final
{
public:
    enum class Use { None, Download, Upload };

    // Opens the file before anything is sent, so a local problem costs no
    // connection and names its path. Throws std::runtime_error with the
    // sentence for the operator. A download to a named file starts with the
    // first `keep` bytes of the file that is there (a resumed download); an
    // upload skips them (a resumed upload).
    void open(Use use, const QString &path, qint64 keep = 0);
    // The same with data in memory for the file at `path`, which is then
    // only its name: `device` is what an upload sends, or where a
    // download's bytes go, and nothing is kept for GetChunk.
    void open(Use use, const QString &path, std::shared_ptr<QIODevice> device);

    bool uploading() const { return bool(m_source); }
    bool downloading() const { return m_target || m_sink; }
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
    // null with failure() set.
    std::unique_ptr<QIODevice> commit();
    // Drops a download that is not to be kept: a file it was replacing
    // stays as it was, and no partial file is left.
    void discard();

private:
    QString m_path;
    std::unique_ptr<QFileDevice> m_target; // QSaveFile for a named file, else a temporary file
    std::shared_ptr<QIODevice> m_source;
    std::shared_ptr<QIODevice> m_sink; // a download's bytes in memory
    qint64 m_skipped = 0;
    QString m_failure;
};
