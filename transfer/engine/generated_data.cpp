#include "engine/generated_data.h"

#include <cstring>

GeneratedFile::GeneratedFile(qint64 size, Fill fill) : m_size(size), m_fill(std::move(fill))
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 GeneratedFile::readData(char *data, qint64 maxSize)
{
    const qint64 length = qMin(maxSize, m_size - pos());
    if (length <= 0)
        return 0;
    m_fill(pos(), data, length);
    return length;
}

ComparedFile::ComparedFile(qint64 size, GeneratedFile::Fill fill)
    : m_size(size), m_fill(std::move(fill))
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 ComparedFile::writeData(const char *data, qint64 length)
{
    const qint64 at = m_received;
    m_received += length;
    if (m_firstDifference >= 0)
        return length;
    const qint64 within = qBound<qint64>(0, m_size - at, length);
    if (within > 0) {
        m_expected.resize(size_t(within));
        m_fill(at, m_expected.data(), within);
        if (std::memcmp(m_expected.data(), data, size_t(within)) != 0) {
            qint64 i = 0;
            while (m_expected[size_t(i)] == data[i])
                ++i;
            m_firstDifference = at + i;
            return length;
        }
    }
    if (within < length)
        m_firstDifference = at + within; // past the end of the file sent
    return length;
}
