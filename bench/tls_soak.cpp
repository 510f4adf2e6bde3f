#include "tls_soak.h"

#include "bench_files.h"

#include <QDir>

#include <cstdio>

namespace {

// The component ends an operation after this long without a server reply or
// data; the soak's own limit per operation only catches a component that
// never ends one.
constexpr int RequestTimeoutSeconds = 10;
constexpr int OperationLimitMs = 60 * 1000;

} // namespace

TlsSoak::TlsSoak(const char *name, int timeLimitSeconds)
    : m_name(name), m_timeLimitSeconds(timeLimitSeconds), m_ram(ramFolderTemplate())
{
    m_clock.start();
}

bool TlsSoak::start()
{
    if (!m_ram.isValid() || !QDir(m_ram.path()).mkpath("served") ||
        !QDir(m_ram.path()).mkpath("local")) {
        std::printf("%s: cannot make a temporary folder\n", m_name);
        return false;
    }
    if (!m_server.start(m_ram.filePath("served"), VsftpdProcess::Security::Tls)) {
        std::printf("%s: cannot start vsftpd: %s\n", m_name, qPrintable(m_server.errorString()));
        return false;
    }
    m_transfer.setURL(QStringLiteral("FTP://127.0.0.1:%1").arg(m_server.port()));
    m_transfer.setUserName(VsftpdProcess::userName());
    m_transfer.setPassword(VsftpdProcess::password());
    m_transfer.setRequestTimeout(RequestTimeoutSeconds);
    std::printf("%s: vsftpd with TLS required on 127.0.0.1:%d, certificate %s\n", m_name,
                m_server.port(), qPrintable(m_server.fingerprint()));
    std::fflush(stdout);
    return true;
}

QString TlsSoak::served(const QString &name) const
{
    return m_ram.filePath(QStringLiteral("served/") + name);
}

QString TlsSoak::local(const QString &name) const
{
    return m_ram.filePath(QStringLiteral("local/") + name);
}

bool TlsSoak::run(const QString &operation)
{
    const OperationRunner::Result result = m_runner.run(operation, OperationLimitMs);
    ++m_operations;
    if (result.ok)
        return true;
    m_firstFailed = m_firstFailed || m_operations == 1;
    fail(operation + QStringLiteral(": ") + result.failure());
    return false;
}

void TlsSoak::fail(const QString &what)
{
    ++m_failures;
    std::printf("%s: FAILED %s\n", m_name, qPrintable(what));
    std::fflush(stdout);
}

bool TlsSoak::mustStop() const
{
    return m_firstFailed || m_clock.elapsed() > m_timeLimitSeconds * 1000LL;
}

int TlsSoak::finish(const QString &summary)
{
    if (m_firstFailed)
        std::printf("%s: the first operation failed, so every later one would too: stopped. "
                    "Does the component speak FTP over TLS?\n",
                    m_name);
    else if (m_clock.elapsed() > m_timeLimitSeconds * 1000LL)
        fail(QStringLiteral("time limit of %1 s reached after %2 operations")
                 .arg(m_timeLimitSeconds)
                 .arg(m_operations));
    // One login, one certificate: the operator is asked once, and never
    // about clear text, as the server offers TLS.
    if (m_runner.certificateQuestions() != 1)
        fail(QStringLiteral("%1 certificate questions, expected exactly 1")
                 .arg(m_runner.certificateQuestions()));
    if (m_runner.clearTextQuestions() != 0)
        fail(QStringLiteral("%1 clear-text questions, expected none")
                 .arg(m_runner.clearTextQuestions()));
    std::printf("%s: %s; %d operations, %d failures (target 0), %.1f s\n", m_name,
                qPrintable(summary), m_operations, m_failures, m_clock.elapsed() / 1000.0);
    return m_failures == 0 ? 0 : 1;
}
