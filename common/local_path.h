#pragma once

#include <QString>

// Maps a Windows-style local path onto this machine. On systems without drive
// letters "X:\a\b" names the folder a/b under the user's home folder, so the
// console's C:\Photos is ~/Photos; backslashes count as separators everywhere.
// A drive is an ASCII letter and a colon, and ".." never climbs above the
// drive's folder, as it never climbs above a drive's root.
// Paths without a drive letter keep their meaning: absolute stays absolute,
// relative is taken against the working folder.
QString localPath(const QString &windowsStylePath);
