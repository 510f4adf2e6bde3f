// The known_hosts reader: whatever the file says, a key is never Known
// unless the file holds that very key's text; and the key facts read from
// any blob stay within it.
#include "fuzz_check.h"
#include "sftp/ssh_host_key.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // An ed25519 blob: its type, then 32 key bytes.
    static const QByteArray shown = QByteArray::fromHex("0000000b") + "ssh-ed25519" +
                                    QByteArray::fromHex("00000020") + QByteArray(32, '\x5a');
    const int port = !input.isEmpty() && (input.at(0) & 1) ? 2222 : 22;
    const KnownHostState state =
        knownHostState(input, QStringLiteral("demo.localhost"), port, QString(), shown);
    if (!input.contains(shown.toBase64()))
        FUZZ_CHECK(state != KnownHostState::Known);

    const QString type = sshBlobKeyType(input);
    FUZZ_CHECK(type.isEmpty() || input.mid(4).startsWith(type.toLatin1()));
    FUZZ_CHECK(sshFingerprint(input).size() == 50);
    return 0;
}
