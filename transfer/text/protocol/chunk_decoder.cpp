#include "text/protocol/chunk_decoder.h"

namespace {

void appendCodePoint(QString &text, char32_t codePoint)
{
    if (QChar::requiresSurrogates(codePoint)) {
        text.append(QChar(QChar::highSurrogate(codePoint)));
        text.append(QChar(QChar::lowSurrogate(codePoint)));
    } else {
        text.append(QChar(char16_t(codePoint)));
    }
}

} // namespace

QString Utf8ChunkDecoder::decode(QByteArrayView bytes, bool atEnd)
{
    QString text;
    text.reserve(bytes.size() + 1);
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar byte = uchar(bytes[i]);
        if (m_needed == 0) {
            ++i;
            if (byte < 0x80) {
                text.append(QChar(char16_t(byte)));
                continue;
            }
            // The second byte's range rules out overlong forms, surrogates
            // and code points above U+10FFFF.
            m_lower = 0x80;
            m_upper = 0xbf;
            if (byte >= 0xc2 && byte <= 0xdf) {
                m_needed = 1;
                m_codePoint = byte & 0x1f;
            } else if (byte >= 0xe0 && byte <= 0xef) {
                m_lower = byte == 0xe0 ? 0xa0 : 0x80;
                m_upper = byte == 0xed ? 0x9f : 0xbf;
                m_needed = 2;
                m_codePoint = byte & 0x0f;
            } else if (byte >= 0xf0 && byte <= 0xf4) {
                m_lower = byte == 0xf0 ? 0x90 : 0x80;
                m_upper = byte == 0xf4 ? 0x8f : 0xbf;
                m_needed = 3;
                m_codePoint = byte & 0x07;
            } else {
                text.append(QChar::ReplacementCharacter);
            }
            continue;
        }
        if (byte < m_lower || byte > m_upper) {
            // The sequence so far is one maximal subpart; this byte starts
            // afresh, so it is read again without moving on.
            reset();
            text.append(QChar::ReplacementCharacter);
            continue;
        }
        ++i;
        m_lower = 0x80;
        m_upper = 0xbf;
        m_codePoint = (m_codePoint << 6) | (byte & 0x3f);
        if (--m_needed == 0) {
            appendCodePoint(text, m_codePoint);
            m_codePoint = 0;
        }
    }
    if (atEnd && m_needed > 0) {
        reset();
        text.append(QChar::ReplacementCharacter);
    }
    return text;
}

void Utf8ChunkDecoder::reset()
{
    m_codePoint = 0;
    m_needed = 0;
    m_lower = 0x80;
    m_upper = 0xbf;
}
