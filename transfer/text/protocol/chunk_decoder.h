#pragma once

#include <QByteArrayView>
#include <QString>

// Decodes UTF-8 data read in pieces, whatever the bytes: the result is the
// same however the data is cut into pieces. A sequence cut at a piece's end is
// carried over to the next piece. Bytes that are not UTF-8 follow the Unicode
// "maximal subpart" practice (the WHATWG decoder's): each maximal subpart of
// an ill-formed sequence becomes one U+FFFD, so a sequence cut short by the
// end of the data or by a byte that cannot continue it is one U+FFFD, and the
// byte after it is decoded on its own. A byte-order mark is data and is kept.
//
// Qt's decoders do not serve here: Qt 6.4's QStringDecoder loses the
// character after a sequence cut at a piece's end, and QString::fromUtf8
// gives one U+FFFD per byte of a cut sequence and drops a leading BOM.
class Utf8ChunkDecoder final
{
public:
    // `atEnd`: no more data follows this piece.
    QString decode(QByteArrayView bytes, bool atEnd);
    void reset();

private:
    // The sequence under way: its code point so far, how many continuation
    // bytes it still needs, and the range its next byte must fall in.
    char32_t m_codePoint = 0;
    int m_needed = 0;
    uchar m_lower = 0x80;
    uchar m_upper = 0xbf;
};
