#pragma once

#include "text/report/site_check_report.h"

// The step of an ended check to look at first: the first failure, else the
// first warning. Its place in `steps`, or -1 when every step passed or was
// skipped.
int siteCheckCulpritIndex(const QList<SiteCheckStep> &steps);

// That step as the header of the check's window names it, with how many
// more there are like it: "1 failed: 3. Greeting: no greeting within 10 s",
// "2 warnings, the first: 7. Features: ..."; empty when there is none.
QString siteCheckCulpritLine(const QList<SiteCheckStep> &steps);

// A step that has begun, as the operator follows the check: "step 3 of 16:
// waiting for the greeting, up to 10 s".
QString siteCheckProgressLine(const SiteCheckProgress &progress);
