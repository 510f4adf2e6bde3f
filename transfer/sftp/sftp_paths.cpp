#include "sftp/sftp_paths.h"

#include <QUrl>

QString sftpPath(const RemoteFolder &folder, const QString &name)
{
    const RemoteFolder target = folder.resolved(name);
    const QString prefix = target.absolute ? QStringLiteral("/") : QStringLiteral("/~/");
    return prefix + target.segments.join(QLatin1Char('/'));
}

QString sftpFolderPath(const RemoteFolder &folder)
{
    const QString path = sftpPath(folder, QString());
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QByteArray sftpUrl(const QByteArray &serverUrl, const QString &path)
{
    return serverUrl + QUrl::toPercentEncoding(path, "/");
}

QByteArray sftpQuoted(const QString &path)
{
    QByteArray quoted = "\"";
    for (const char byte : path.toUtf8()) {
        if (byte == '"' || byte == '\\')
            quoted += '\\';
        quoted += byte;
    }
    return quoted + '"';
}
