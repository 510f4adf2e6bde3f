#pragma once

#include <QString>
#include <QStringList>

// The photo files the console lists: names matching "*_?.jpg" in C:\Photos.
inline constexpr char PhotoPattern[] = "*_?.jpg";

// C:\Photos on this machine, by the local-path rule (~/Photos).
QString photoFolder();

// The names of the ordinary files in `folder` that match `pattern` ("*" any
// run of characters, "?" exactly one), letter case ignored as on the
// console's original platform, sorted by name without regard to case. Hidden
// files and folders are left out; a missing folder lists nothing.
QStringList listPhotoFiles(const QString &folder,
                           const QString &pattern = QLatin1String(PhotoPattern));
