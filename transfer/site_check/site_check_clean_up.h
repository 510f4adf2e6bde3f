#pragma once

#include "engine/engine_messages.h"
#include "site_check/site_check_book.h"
#include "text/report/site_check_report.h"

#include <curl/curl.h>

#include <functional>

class ReportQueue;

// The test file's deletion after the operator stopped a check that may have
// left it on the server, for FTP and SFTP alike: one last request on the
// engine's handle, which the engine drives on its event loop like any
// other, so its sockets are the engine's and a server that stalls holds
// nothing. It may take a few seconds at most; a second stop ends it.
class SiteCheckCleanUp final
{
public:
    static constexpr int LimitSeconds = 5;

    // The operator's stop: said in the log. When the file may be on the
    // server its deletion is set up by `setUp` and the step is Continue, for
    // the engine to run it; otherwise, or when `setUp` throws, the check
    // ends with `stop`'s outcome.
    OperationStep stopping(bool fileMayExist, SiteCheckBook &book, ReportQueue &reports,
                           const std::function<void()> &setUp,
                           const std::function<OperationOutcome()> &stop);
    bool running() const { return m_running; }
    // The order the deletion's request runs under: the check's, with the
    // short limit, for the request builders.
    static OperationOrder limited(OperationOrder order);
    // The limit on the whole request, its login included.
    static void limit(CURL *easy);
    // The deletion's request has ended, its step reported: the check's
    // outcome.
    OperationOutcome ended(SiteCheckBook &book);
    // The check ends stopped, now: a deletion still running is given up
    // and its step says the file may be left behind. The check's outcome.
    OperationOutcome stopped(SiteCheckBook &book, ReportQueue &reports, const QString &path);

private:
    bool m_stopped = false;
    bool m_running = false;
};

// Step 14 when the deletion got no answer (`why`, in libcurl's words or
// the operator's): the file may be left behind.
SiteCheckOutcome cleanUpUnanswered(const QString &path, const QString &why);
