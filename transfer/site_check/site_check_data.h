#pragma once

#include <QByteArray>
#include <QElapsedTimer>

#include <curl/curl.h>

class ReportQueue;

// The site check's test file on its way: the payload sent from memory, what a
// request reads back (kept in memory up to a limit), and when its first byte
// came. Whether a test file may stand on the server is known here too, since
// the upload's first read is what makes it so.
class SiteCheckData final
{
public:
    SiteCheckData(ReportQueue &reports, const QElapsedTimer &clock)
        : m_reports(reports), m_clock(clock)
    {}

    void setPayload(const QByteArray &payload) { m_payload = payload; }
    const QByteArray &payload() const { return m_payload; }
    const QByteArray &received() const { return m_received; }
    qint64 sent() const { return m_sent; }
    // Milliseconds on the check's clock; -1 before any byte came.
    qint64 firstByteMs() const { return m_firstByteMs; }
    // When an upload's last byte was handed over; -1 before.
    qint64 allSentMs() const { return m_allSentMs; }

    bool fileMayExist() const { return m_fileMayExist; }
    void setFileMayExist(bool mayExist) { m_fileMayExist = mayExist; }

    // A new request: nothing sent or received yet. Sets the data callbacks
    // into `easy`; with `upload` the payload is what the request sends.
    void restart(CURL *easy, bool upload);

private:
    static size_t onWrite(char *data, size_t size, size_t count, void *userp);
    static size_t onRead(char *data, size_t size, size_t count, void *userp);

    ReportQueue &m_reports;
    const QElapsedTimer &m_clock;
    QByteArray m_payload;
    QByteArray m_received;
    qint64 m_sent = 0;
    qint64 m_firstByteMs = -1;
    qint64 m_allSentMs = -1;
    bool m_fileMayExist = false;
};
