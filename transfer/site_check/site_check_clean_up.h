#pragma once

#include "engine/engine_messages.h"
#include "site_check/site_check_book.h"
#include "text/site_check_report.h"

#include <curl/curl.h>

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

    // Whether the deletion is to run: once, when the file may be there.
    // Says so in the log and as the step's progress.
    bool begin(bool fileMayExist, SiteCheckBook &book, ReportQueue &reports);
    bool running() const { return m_running; }
    // The check's order with the deletion's limit, for the request builders.
    static OperationOrder limited(OperationOrder order);
    // The limit on the whole request, its login included.
    static void limit(CURL *easy);
    // The deletion's request has ended; its step is the check's to report.
    void ended() { m_running = false; }
    // The deletion was stopped before it ended: the step says the file may
    // be left behind.
    void end(SiteCheckBook &book, const QString &path);

private:
    bool m_running = false;
    bool m_ran = false;
};

// Step 14 when the deletion got no answer (`why`, in libcurl's words or
// the operator's): the file may be left behind.
SiteCheckOutcome cleanUpUnanswered(const QString &path, const QString &why);
