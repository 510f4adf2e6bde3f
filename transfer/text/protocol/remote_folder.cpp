#include "text/protocol/remote_folder.h"

#include <QUrl>

RemoteFolder RemoteFolder::resolved(const QString &name) const
{
    RemoteFolder result = name.startsWith(QLatin1Char('/')) ? RemoteFolder{{}, true} : *this;
    for (const QString &segment : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String("."))
            continue;
        if (segment == QLatin1String("..") && !result.segments.isEmpty() &&
            result.segments.constLast() != QLatin1String(".."))
            result.segments.removeLast();
        else if (segment != QLatin1String("..") || !result.absolute)
            result.segments.append(segment);
    }
    return result;
}

QString RemoteFolder::display() const
{
    const QString joined = segments.join(QLatin1Char('/'));
    return absolute ? QLatin1Char('/') + joined : joined;
}

QByteArray RemoteFolder::urlPath() const
{
    QByteArray path = "/";
    if (absolute)
        path += "%2F/";
    for (const QString &segment : segments)
        path += QUrl::toPercentEncoding(segment) + '/';
    return path;
}

QString folderFromPwdReply(const QString &reply)
{
    const int open = reply.indexOf(QLatin1Char('"'));
    if (open < 0)
        return reply.mid(4);
    QString folder;
    for (int i = open + 1; i < reply.size(); ++i) {
        if (reply.at(i) == QLatin1Char('"')) {
            if (i + 1 < reply.size() && reply.at(i + 1) == QLatin1Char('"')) {
                folder.append(QLatin1Char('"'));
                ++i;
                continue;
            }
            break;
        }
        folder.append(reply.at(i));
    }
    return folder;
}
