#include "sftp/sftp_status.h"

#include <QRegularExpression>

namespace {

struct StatusRow
{
    int status;
    const char *libcurlPhrase; // how libcurl's error text names it
    const char *words;         // how the operator reads it
};

// SFTP version 3 servers send statuses 0 to 8; later versions define more,
// which libssh2 knows. libssh2 names 2 and 10 alike; version 3 has only 2.
constexpr StatusRow Statuses[] = {
    {0, nullptr, "OK"},
    {1, nullptr, "End of file"},
    {2, "No such file or directory", "No such file"},
    {3, "Permission denied", "Permission denied"},
    {4, "Operation failed", "Failure"},
    {5, "Bad message from SFTP server", "Bad message"},
    {6, "Not connected to SFTP server", "No connection"},
    {7, "Connection to SFTP server lost", "Connection lost"},
    {8, "Operation not supported by SFTP server", "Operation not supported"},
    {9, "Invalid handle", "Invalid handle"},
    {10, nullptr, "No such path"},
    {11, "File already exists", "File already exists"},
    {12, "File is write protected", "Write protected"},
    {13, "No media", "No media"},
    {14, "Disk full", "No space on the file system"},
    {15, "User quota exceeded", "Quota exceeded"},
    {16, "Unknown principle", "Unknown principal"},
    {17, "File lock conflict", "Lock conflict"},
    {18, "Directory not empty", "Folder not empty"},
    {19, "Not a directory", "Not a folder"},
    {20, "Invalid filename", "Invalid file name"},
    {21, "Link points to itself", "Link loop"},
};

} // namespace

std::optional<int> sftpStatus(CURLcode result, const QString &detail)
{
    if (result == CURLE_OK)
        return 0;
    // An upload that could not start says the status itself: "Upload failed:
    // Permission denied (3/-31)", the SFTP status before the slash.
    static const QRegularExpression uploadStatus(QStringLiteral("\\((\\d+)/-?\\d+\\)$"));
    const QRegularExpressionMatch match = uploadStatus.match(detail);
    if (match.hasMatch())
        return match.captured(1).toInt();
    // The phrase follows the command's own words: "rm command failed: ...".
    const QString phrase = detail.section(QLatin1String(": "), -1).trimmed();
    for (const StatusRow &row : Statuses)
        if (row.libcurlPhrase && phrase == QLatin1String(row.libcurlPhrase))
            return row.status;
    if (result == CURLE_REMOTE_FILE_NOT_FOUND)
        return 2;
    if (result == CURLE_REMOTE_ACCESS_DENIED)
        return 3;
    return std::nullopt;
}

QString sftpStatusText(int status, const QString &path)
{
    QString words = QStringLiteral("Unknown status");
    for (const StatusRow &row : Statuses)
        if (row.status == status)
            words = QLatin1String(row.words);
    if (path.isEmpty())
        return QStringLiteral("%1 (SFTP status %2)").arg(words).arg(status);
    return QStringLiteral("%1: %2 (SFTP status %3)").arg(words, path).arg(status);
}
