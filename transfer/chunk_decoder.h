#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

// Decodes UTF-8 data read in pieces: a sequence cut at a piece's end is
// carried over to the next piece, and one still cut off at the end of the data
// becomes U+FFFD.
class Utf8ChunkDecoder final
{
public:
    // `atEnd`: no more data follows this piece.
    QString decode(QByteArrayView bytes, bool atEnd);
    void reset();

private:
    QStringDecoder m_decoder{QStringDecoder::Utf8};
};
