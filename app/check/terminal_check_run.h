#pragma once

#include "text/proxy_address.h"
#include "text/report/site_check_report.h"

#include <QStringList>
#include <QUrl>

#include <optional>

// One run of the terminal check: a fresh login to the account of `url`, the
// password from SARVEL_PASSWORD, a certificate or host key trusted only by
// the fingerprint `trust`; through `proxy` when --proxy names one, else
// through the environment's, as the console would.
struct TerminalCheckOrder
{
    QUrl url;
    QString folder;
    QString trust;
    CertificateLimits limits;
    std::optional<ProxyAddress> proxy;
};

struct TerminalCheckRun
{
    bool ran = false; // false: the check could not run, `fault` says why
    QString fault;
    SiteCheckReport report;
    QStringList untrusted; // for standard error: what --trust needs, when refused
};

TerminalCheckRun runTerminalCheck(const TerminalCheckOrder &order);
