// The reply assembler against any server: every reply it completes has a
// code of three ASCII digits from 100 to 599 that starts its text, and what
// it holds for one reply stays within its limits.
#include "text/protocol/ftp_reply.h"
#include "fuzz_check.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte repeats the lines, so that short inputs reach the limits.
    const int rounds = 1 + data[0] * 8;
    const QList<QByteArray> lines =
        QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)).split('\n');

    FtpReplyAssembler assembler;
    int held = 0; // lines of the reply under way
    for (int round = 0; round < rounds; ++round) {
        for (const QByteArray &raw : lines) {
            const bool wasBroken = bool(assembler.error());
            const std::optional<FtpReply> reply = assembler.addLine(QString::fromUtf8(raw));
            held = assembler.inReply() ? held + 1 : 0;
            FUZZ_CHECK(held <= FtpReplyAssembler::MaxLines);
            if (wasBroken)
                FUZZ_CHECK(!reply && assembler.error() && !assembler.inReply());
            if (reply) {
                FUZZ_CHECK(reply->code >= 100 && reply->code <= 599);
                FUZZ_CHECK(reply->text.left(3) == QString::number(reply->code));
                FUZZ_CHECK(reply->text.size() <=
                           FtpReplyAssembler::MaxChars + 2 * FtpReplyAssembler::MaxLines);
                FUZZ_CHECK(!assembler.inReply() && !assembler.error());
            }
            // Every other round goes on from a broken reply, as a client
            // that drops the connection and opens a new one would.
            if (assembler.error() && round % 2 == 1)
                assembler.reset();
        }
    }
    return 0;
}
