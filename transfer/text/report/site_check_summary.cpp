#include "text/report/site_check_summary.h"

#include <algorithm>

namespace {

bool isCulprit(const SiteCheckStep &step, SiteCheckResult result)
{
    return step.outcome.result == result;
}

// The result that makes a step the culprit: a failure, else a warning.
SiteCheckResult culpritResult(const QList<SiteCheckStep> &steps)
{
    const bool failed = std::any_of(steps.begin(), steps.end(), [](const SiteCheckStep &step) {
        return isCulprit(step, SiteCheckResult::Fail);
    });
    return failed ? SiteCheckResult::Fail : SiteCheckResult::Warning;
}

} // namespace

int siteCheckCulpritIndex(const QList<SiteCheckStep> &steps)
{
    const SiteCheckResult result = culpritResult(steps);
    for (int i = 0; i < steps.size(); ++i)
        if (isCulprit(steps.at(i), result))
            return i;
    return -1;
}

QString siteCheckCulpritLine(const QList<SiteCheckStep> &steps)
{
    const int index = siteCheckCulpritIndex(steps);
    if (index < 0)
        return {};
    const SiteCheckStep &culprit = steps.at(index);
    const auto count =
        std::count_if(steps.begin(), steps.end(), [&culprit](const SiteCheckStep &step) {
            return isCulprit(step, culprit.outcome.result);
        });
    QString counted = culprit.outcome.result == SiteCheckResult::Fail
                          ? QStringLiteral("%1 failed").arg(count)
                          : QStringLiteral("%1 warning%2").arg(count).arg(count > 1 ? "s" : "");
    if (count > 1)
        counted += QStringLiteral(", the first");
    return QStringLiteral("%1: %2: %3")
        .arg(counted, siteCheckStepTitle(culprit.id), culprit.outcome.detail);
}

QString siteCheckProgressLine(const SiteCheckProgress &progress)
{
    QString line =
        progress.total > 0
            ? QStringLiteral("step %1 of %2: ").arg(progress.position).arg(progress.total)
            : QStringLiteral("step %1: ").arg(progress.position);
    line += progress.doing.isEmpty() ? siteCheckStepTitle(progress.id) : progress.doing;
    if (progress.limitSeconds > 0)
        line += QStringLiteral(", up to %1 s").arg(progress.limitSeconds);
    return line;
}
