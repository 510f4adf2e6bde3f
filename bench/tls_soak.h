#pragma once

#include "curl_transfer.h"
#include "operation_runner.h"
#include "vsftpd_process.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>

// The TLS soak's harness: vsftpd with TLS required for the login and for all
// data, over a folder this program can read directly; one FTP component
// logged in to it for the whole soak; an overall time limit; and the tally of
// failures and trust questions.
class TlsSoak final
{
    Q_DISABLE_COPY_MOVE(TlsSoak)
public:
    TlsSoak(const char *name, int timeLimitSeconds);

    bool start();
    QString served(const QString &name) const;
    QString local(const QString &name) const;

    // Runs one operation to its end; false, with the failure counted and
    // printed, when it did not succeed.
    bool run(const QString &operation);
    // Counts and prints a failure found by the soak itself.
    void fail(const QString &what);

    // True once the soak should stop: past its time limit, or its first
    // operation failed, so every later one would fail the same way.
    bool mustStop() const;

    int failures() const { return m_failures; }
    // Prints the tally; the process's exit code.
    int finish(const QString &summary);

private:
    const char *m_name;
    const int m_timeLimitSeconds;
    QElapsedTimer m_clock;
    QTemporaryDir m_ram;
    VsftpdProcess m_server;
    CurlTransfer m_transfer;
    OperationRunner m_runner{m_transfer};
    int m_operations = 0;
    int m_failures = 0;
    bool m_firstFailed = false;
};
