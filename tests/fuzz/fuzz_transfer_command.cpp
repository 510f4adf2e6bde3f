// The command grammar: whatever it accepts names a known verb with its
// number of names, and no name holds a control character.
#include "fuzz_check.h"
#include "text/transfer_command.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace {

bool hasControl(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f))
            return true;
    return false;
}

void check(const QString &text)
{
    TransferCommand command;
    try {
        command = parseTransferCommand(text);
    } catch (const std::invalid_argument &error) {
        FUZZ_CHECK(error.what()[0] != '\0');
        return;
    }
    FUZZ_CHECK(!hasControl(text));
    // An operator's verb, never the raw commands the operations use inside.
    FUZZ_CHECK(int(command.verb) >= int(TransferVerb::Get) &&
               int(command.verb) <= int(TransferVerb::Soak));
    FUZZ_CHECK(command.args.size() <= 2);
    for (const QString &arg : command.args)
        FUZZ_CHECK(!arg.isEmpty() && !hasControl(arg));
    // The verb is the first word, in ASCII letters only.
    const QString verb = text.trimmed().section(QLatin1Char(' '), 0, 0);
    for (const QChar c : verb)
        FUZZ_CHECK(c.isLetter() && c.unicode() < 0x80);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QStringList verbs = ftpVerbSpellings();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // As typed (UTF-8), and as any run of UTF-16 code units, which reaches
    // every control character and lone surrogates too.
    const QString typed = QString::fromUtf8(bytes);
    const QString units =
        QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    check(typed);
    check(units);
    // Behind a known verb, so that the names reach the checks past the verb.
    if (size > 0) {
        const QString verb = verbs.at(data[0] % verbs.size()) + QLatin1Char(' ');
        check(verb + typed.mid(1));
        check(verb + units.mid(1));
    }
    return 0;
}
