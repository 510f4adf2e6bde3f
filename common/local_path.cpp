#include "local_path.h"

#include <QDir>
#include <QStringList>

namespace {

// Only an ASCII letter names a drive: "é:" or "٣:" is an ordinary name.
bool isDriveLetter(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

// The segments of a path below a drive's root. As on the drive itself, ".."
// at the root stays at the root, so no drive path leads out of its folder.
QString belowRoot(const QString &path)
{
    QStringList kept;
    for (const QString &segment : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String("."))
            continue;
        if (segment == QLatin1String("..")) {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(segment);
    }
    return kept.join(QLatin1Char('/'));
}

} // namespace

QString localPath(const QString &windowsStylePath)
{
    QString path = windowsStylePath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const bool hasDrive =
        path.size() >= 2 && isDriveLetter(path.at(0)) && path.at(1) == QLatin1Char(':');
    if (hasDrive)
        return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + belowRoot(path.mid(2)));
    return QDir::cleanPath(path);
}
