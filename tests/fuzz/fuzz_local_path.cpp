// The local-path rule: never a backslash in the result, and a drive path
// always lands in the home folder, never above it.
#include "fuzz_check.h"
#include "local_path.h"

#include <QDir>
#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString local = localPath(path);
    FUZZ_CHECK(!local.contains(QLatin1Char('\\')));

    const QChar first = path.isEmpty() ? QChar() : path.at(0).toLower();
    const bool drive = path.size() >= 2 && first >= QLatin1Char('a') && first <= QLatin1Char('z') &&
                       path.at(1) == QLatin1Char(':');
    if (drive) {
        const QString home = QDir::homePath();
        FUZZ_CHECK(local == home || local.startsWith(home + QLatin1Char('/')));
        for (const QString &segment : local.mid(home.size()).split(QLatin1Char('/')))
            FUZZ_CHECK(segment != QLatin1String("..") && segment != QLatin1String("."));
    }
    return 0;
}
