#include "site_check/site_check_data.h"

#include "engine/curl_handles.h"
#include "engine/report_queue.h"

#include <cstring>

namespace {

// More than a listing or the test file can hold: a server that never stops
// sending ends the request instead of filling memory.
constexpr qsizetype MaxReceived = 16 * 1024 * 1024;

} // namespace

void SiteCheckData::restart(CURL *easy, bool upload)
{
    m_received.clear();
    m_sent = 0;
    m_firstByteMs = -1;
    m_allSentMs = -1;
    setOption(easy, CURLOPT_WRITEFUNCTION, &SiteCheckData::onWrite);
    setOption(easy, CURLOPT_WRITEDATA, this);
    if (upload) {
        setOption(easy, CURLOPT_READFUNCTION, &SiteCheckData::onRead);
        setOption(easy, CURLOPT_READDATA, this);
        setOption(easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_payload.size()));
    }
}

// libcurl's callbacks: they run inside libcurl calls, so they only record and queue.

size_t SiteCheckData::onWrite(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<SiteCheckData *>(userp);
    const size_t length = size * count;
    if (self->m_firstByteMs < 0) {
        self->m_firstByteMs = self->m_clock.elapsed();
        self->m_reports.state(TransferState::ReceivingResponse);
    }
    if (self->m_received.size() + qsizetype(length) > MaxReceived)
        return 0;
    self->m_received.append(data, qsizetype(length));
    return length;
}

size_t SiteCheckData::onRead(char *data, size_t size, size_t count, void *userp)
{
    auto *self = static_cast<SiteCheckData *>(userp);
    self->m_fileMayExist = true;
    const qint64 length = qMin(qint64(size * count), self->m_payload.size() - self->m_sent);
    std::memcpy(data, self->m_payload.constData() + self->m_sent, size_t(length));
    self->m_sent += length;
    // libcurl stops reading once it has the size it was given, so the end is
    // the last byte handed over, not a read that returns nothing.
    if (self->m_sent == self->m_payload.size() && self->m_allSentMs < 0)
        self->m_allSentMs = self->m_clock.elapsed();
    return size_t(length);
}
