#include "text/retrieved_data.h"

void RetrievedData::replace(std::shared_ptr<QIODevice> device)
{
    m_device = std::move(device);
    m_decoder.reset();
}

QString RetrievedData::read(int size)
{
    if (!m_device || size <= 0)
        return {};
    const QByteArray bytes = m_device->read(size);
    return m_decoder.decode(bytes, m_device->atEnd());
}
