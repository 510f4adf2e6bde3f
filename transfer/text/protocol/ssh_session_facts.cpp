#include "text/protocol/ssh_session_facts.h"

QString printableSshVersion(const char *version)
{
    QString shown = QString::fromUtf8(version);
    for (QChar &c : shown)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return shown;
}
