// PWD replies and remote folders: a folder never holds "." or an empty
// segment, ".." only leads a relative folder, and the URL path has one "/"
// per segment.
#include "fuzz_check.h"
#include "text/protocol/remote_folder.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace {

void checkFolder(const RemoteFolder &folder)
{
    bool leading = true;
    for (const QString &segment : folder.segments) {
        FUZZ_CHECK(!segment.isEmpty() && segment != QLatin1String("."));
        FUZZ_CHECK(!segment.contains(QLatin1Char('/')));
        if (segment == QLatin1String(".."))
            FUZZ_CHECK(leading && !folder.absolute);
        else
            leading = false;
    }
    const QByteArray url = folder.urlPath();
    FUZZ_CHECK(url.count('/') == folder.segments.size() + (folder.absolute ? 2 : 1));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> lines =
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\n');
    // The first line is a PWD reply, the others names to change into.
    RemoteFolder folder = RemoteFolder{}.resolved(folderFromPwdReply(QString::fromUtf8(lines[0])));
    checkFolder(folder);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        folder = folder.resolved(QString::fromUtf8(lines[i]));
        checkFolder(folder);
    }
    return 0;
}
