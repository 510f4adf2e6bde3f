// The reader of an SSH server's first bytes against any server: it never
// reads past what it was given, an offer it completes stays the same however
// much follows it, and an offer has everything in common with itself.
#include "fuzz_check.h"
#include "text/protocol/ssh_offer.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const SshOfferReading reading = readSshOffer(bytes);
    if (reading.status == SshOfferReading::Status::Malformed)
        FUZZ_CHECK(!reading.problem.isEmpty());
    if (reading.status != SshOfferReading::Status::Complete)
        return 0;
    FUZZ_CHECK(reading.version.startsWith(QLatin1String("SSH-")));
    const SshOfferReading longer = readSshOffer(bytes + QByteArray(64, '\xff'));
    FUZZ_CHECK(longer.status == SshOfferReading::Status::Complete);
    FUZZ_CHECK(longer.offer.hostKey == reading.offer.hostKey);
    FUZZ_CHECK(longer.offer.compression == reading.offer.compression);
    FUZZ_CHECK(sshNothingInCommon(reading.offer, reading.offer, QStringLiteral("x")).isEmpty());
    FUZZ_CHECK(sshOfferLines(reading.offer).size() == 5);
    return 0;
}
