#pragma once

// What the site check's table tests share: a fixed clock and steps made up
// for a report.
#include "text/report/site_check_report.h"

#include <QDateTime>
#include <QMetaType>
#include <QStringList>

using Result = SiteCheckResult;
Q_DECLARE_METATYPE(SiteCheckResult)
Q_DECLARE_METATYPE(SiteCheckOutcome)

inline const QDateTime Now(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);

inline SiteCheckStep step(SiteCheckStepId id, Result result, const QString &detail,
                          const QString &hint = {})
{
    SiteCheckStep s;
    s.id = id;
    s.outcome = {result, detail, hint};
    s.elapsedMs = 1234;
    return s;
}

// The line of `text` that holds `part`, trimmed.
inline QString lineWith(const QByteArray &text, const QString &part)
{
    for (const QString &line : QString::fromUtf8(text).split('\n'))
        if (line.contains(part))
            return line.trimmed();
    return {};
}
