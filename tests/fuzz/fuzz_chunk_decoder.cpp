// The chunk decoder: data cut anywhere decodes as it does whole, and no
// character after a malformed sequence is lost.
#include "text/protocol/chunk_decoder.h"
#include "fuzz_check.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const qsizetype split = ((data[0] << 8) | data[1]) % (bytes.size() + 1);

    Utf8ChunkDecoder decoder;
    const QString whole = decoder.decode(bytes, true);
    QString pieces = decoder.decode(bytes.left(split), false);
    pieces += decoder.decode(bytes.mid(split), true);
    FUZZ_CHECK(whole == pieces);
    FUZZ_CHECK(whole.size() <= bytes.size());

    // Each ASCII byte stands for itself, malformed bytes around it or not.
    QByteArray asciiIn;
    for (const char byte : bytes)
        if (uchar(byte) < 0x80)
            asciiIn += byte;
    QByteArray asciiOut;
    for (const QChar c : whole)
        if (c.unicode() < 0x80)
            asciiOut += char(c.unicode());
    FUZZ_CHECK(asciiIn == asciiOut);

    // Without a replacement character the bytes were UTF-8, and come back.
    if (!whole.contains(QChar::ReplacementCharacter))
        FUZZ_CHECK(whole.toUtf8() == bytes);
    return 0;
}
