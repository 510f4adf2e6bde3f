#pragma once

#include <QByteArrayView>
#include <QString>

// What libcurl's remarks (its verbose text) tell of an SSH login's progress;
// libcurl reports the login in no other way.
struct SshRemark
{
    enum class Kind {
        None,
        MethodsOffered, // the server listed its login methods: `text`
        Trying,         // a login method is being tried: `text` names it
        LoggedIn,
        Reused, // the pooled login carries the request
    };
    Kind kind = Kind::None;
    QString text;
};

SshRemark sshRemark(QByteArrayView remark);
