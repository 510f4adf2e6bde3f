#pragma once

#include "engine/local_files.h"
#include "sftp/sftp_listing.h"
#include "text/transfer_command.h"

#include <QElapsedTimer>

#include <curl/curl.h>

#include <functional>
#include <optional>

class ReportQueue;

// An SFTP operation's data as libcurl moves it: the local file it comes from
// or goes to, the filter of folder listings, the progress reports, and the
// moment it first moves.
class SftpData final
{
    Q_DISABLE_COPY_MOVE(SftpData)
public:
    SftpData(ReportQueue &reports, std::function<void()> firstMoved)
        : m_reports(reports), m_firstMoved(std::move(firstMoved))
    {}

    // Opens the local file `command` needs, before anything is sent. Throws
    // std::runtime_error with the operator's sentence when it cannot. A
    // download's data goes to `sink`, when one is given, in place of a file;
    // with `memory` an upload sends it, or a download goes to it, instead
    // of a local file.
    void open(const TransferCommand &command, qint64 keep = 0, DataSink sink = {},
              std::shared_ptr<QIODevice> memory = {});
    // The remote name an upload goes to.
    const QString &uploadName() const { return m_uploadName; }
    // Sets the data and progress callbacks into `easy` for one request. One
    // that `refuses` data ends at its first byte, which refused() then says.
    void install(CURL *easy, bool upload, bool refuses = false);
    bool refused() const { return m_refused; }

    LocalFiles &files() { return m_files; }
    const LocalFiles &files() const { return m_files; }
    qint64 downloaded() const { return m_downloaded; }
    // Writes the end of a listing that had no line end.
    void endListing();

private:
    void moving();
    static size_t onWrite(char *data, size_t size, size_t count, void *userp);
    static size_t onRead(char *data, size_t size, size_t count, void *userp);
    static int onProgress(void *userp, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t,
                          curl_off_t ulNow);

    ReportQueue &m_reports;
    std::function<void()> m_firstMoved;
    LocalFiles m_files;
    std::optional<SftpListingFilter> m_listing; // DIR and LS
    QString m_uploadName;
    qint64 m_downloaded = 0;
    bool m_moved = false;
    bool m_refuses = false;
    bool m_refused = false;
    QElapsedTimer m_sinceProgress;
};
