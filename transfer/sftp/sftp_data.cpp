#include "sftp/sftp_data.h"

#include "engine/curl_handles.h"
#include "engine/report_queue.h"
#include "local_path.h"

#include <QFileInfo>

void SftpData::open(const TransferCommand &command, qint64 keep, DataSink sink,
                    std::shared_ptr<QIODevice> memory)
{
    const QStringList &args = command.args;
    switch (command.verb) {
    case TransferVerb::Get:
        if (memory)
            m_files.open(LocalFiles::Use::Download, QString(), std::move(memory));
        else
            m_files.open(LocalFiles::Use::Download,
                         args.size() > 1 ? localPath(args.at(1)) : QString(), keep,
                         std::move(sink));
        break;
    case TransferVerb::Dir:
    case TransferVerb::Ls:
        m_files.open(LocalFiles::Use::Download, QString());
        m_listing.emplace(command.verb == TransferVerb::Dir);
        break;
    case TransferVerb::Put: {
        const QString local = localPath(args.at(0));
        if (memory)
            m_files.open(LocalFiles::Use::Upload, local, std::move(memory));
        else
            m_files.open(LocalFiles::Use::Upload, local, keep);
        m_uploadName = args.size() > 1 ? args.at(1) : QFileInfo(local).fileName();
        break;
    }
    default:
        break;
    }
    m_sinceProgress.start();
}

void SftpData::install(CURL *easy, bool upload, bool refuses)
{
    m_refuses = refuses;
    m_refused = false;
    setOption(easy, CURLOPT_WRITEFUNCTION, &SftpData::onWrite);
    setOption(easy, CURLOPT_WRITEDATA, this);
    setOption(easy, CURLOPT_NOPROGRESS, 0L);
    setOption(easy, CURLOPT_XFERINFOFUNCTION, &SftpData::onProgress);
    setOption(easy, CURLOPT_XFERINFODATA, this);
    if (upload) {
        setOption(easy, CURLOPT_READFUNCTION, &SftpData::onRead);
        setOption(easy, CURLOPT_READDATA, this);
        setOption(easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_files.uploadLeft()));
    }
}

void SftpData::endListing()
{
    if (!m_listing)
        return;
    const QByteArray rest = m_listing->finish();
    m_files.write(rest.constData(), rest.size());
}

void SftpData::moving()
{
    if (!m_moved) {
        m_moved = true;
        m_firstMoved();
    }
}

// --- libcurl's callbacks, inside libcurl calls on the engine's thread.

size_t SftpData::onWrite(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<SftpData *>(userp);
    const size_t length = size * count;
    if (self->m_refuses) {
        self->m_refused = self->m_refused || length > 0;
        return self->m_refused ? 0 : length;
    }
    // CD's listing only proves the folder.
    if (!self->m_files.downloading())
        return length;
    self->moving();
    self->m_downloaded += qint64(length);
    // libcurl ends the transfer on a short count; the file's error names the cause.
    if (self->m_listing) {
        const QByteArray kept = self->m_listing->add(QByteArrayView(data, qsizetype(length)));
        return self->m_files.write(kept.constData(), kept.size()) ? length : 0;
    }
    return self->m_files.write(data, qint64(length)) ? length : 0;
}

size_t SftpData::onRead(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<SftpData *>(userp);
    self->moving();
    const qint64 read = self->m_files.read(data, qint64(size * count));
    return read < 0 ? CURL_READFUNC_ABORT : size_t(read);
}

int SftpData::onProgress(void *userp, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t,
                         curl_off_t ulNow)
{
    auto *self = static_cast<SftpData *>(userp);
    if (self->m_sinceProgress.elapsed() < 250)
        return 0;
    self->m_sinceProgress.restart();
    const bool upload = self->m_files.uploading();
    const qint64 done = upload ? ulNow : dlNow;
    const qint64 total = upload ? self->m_files.uploadSize() : dlTotal;
    if (done > 0)
        self->m_reports.progress(done, total > 0 ? total : -1);
    return 0;
}
