#include "photo_listing.h"

#include "local_path.h"

#include <QDir>

QString photoFolder()
{
    return localPath(QStringLiteral("C:\\Photos"));
}

QStringList listPhotoFiles(const QString &folder, const QString &pattern)
{
    // Name filters match without regard to case unless QDir::CaseSensitive is given.
    const QDir dir(folder, pattern, QDir::Name | QDir::IgnoreCase, QDir::Files);
    return dir.entryList();
}
