#include "chunk_decoder.h"

namespace {

// Reaches the decoder's state, which QStringDecoder keeps protected.
struct StateAccess : QStringDecoder
{
    static bool pending(const QStringDecoder &decoder)
    {
        return static_cast<const StateAccess &>(decoder).state.remainingChars > 0;
    }
};

} // namespace

QString Utf8ChunkDecoder::decode(QByteArrayView bytes, bool atEnd)
{
    QString text = m_decoder.decode(bytes);
    if (atEnd && StateAccess::pending(m_decoder)) {
        text.append(QChar::ReplacementCharacter);
        m_decoder.resetState();
    }
    return text;
}

void Utf8ChunkDecoder::reset()
{
    m_decoder.resetState();
}
