#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A remote folder: segments below the login folder, or below "/" when absolute.
struct RemoteFolder
{
    QStringList segments;
    bool absolute = false;

    // The folder `name` names when taken against this one.
    RemoteFolder resolved(const QString &name) const;
    // As the operator reads it: "a/b", or "/a/b" when absolute.
    QString display() const;
    // The URL path, every segment escaped, so that libcurl changes into the
    // folder one segment at a time ("%2F" first for an absolute folder).
    QByteArray urlPath() const;
};

// The folder a PWD reply names: 257 "/some ""quoted"" folder" is current.
QString folderFromPwdReply(const QString &reply);
