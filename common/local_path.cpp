#include "local_path.h"

#include <QDir>

QString localPath(const QString &windowsStylePath)
{
    QString path = windowsStylePath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const bool hasDrive =
        path.size() >= 2 && path.at(0).isLetter() && path.at(1) == QLatin1Char(':');
    if (hasDrive)
        path = QDir::homePath() + QLatin1Char('/') + path.mid(2);
    return QDir::cleanPath(path);
}
