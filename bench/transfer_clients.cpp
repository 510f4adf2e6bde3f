#include "transfer_clients.h"

#include "curl_transfer.h"
#include "operation_runner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

namespace {

// No single transfer of the benchmark should come near this.
constexpr int TimeLimitMs = 10 * 60 * 1000;

QString baseUrl(const Endpoint &server)
{
    return QStringLiteral("ftp://127.0.0.1:%1/").arg(server.port);
}

// Runs a tool to its end; `output`, when given, receives its standard output.
Timing runTool(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    Timing timing;
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    const bool ended = process.waitForFinished(TimeLimitMs);
    timing.seconds = clock.nsecsElapsed() / 1e9;
    timing.ok = ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output)
        *output = process.readAllStandardOutput();
    if (!timing.ok) {
        process.kill();
        process.waitForFinished();
        timing.error = QStringLiteral("%1 failed (%2): %3")
                           .arg(program, process.errorString(),
                                QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
    }
    return timing;
}

// A plain, single-stream transfer: no TLS attempt, no parallel segments, no
// retries that would hide a failure.
Timing runLftp(const Endpoint &server, const QString &command)
{
    const QString script =
        QStringLiteral("set cmd:fail-exit yes; set ftp:ssl-allow no; set xfer:clobber on; "
                       "set pget:default-n 1; set net:max-retries 1; set xfer:use-temp-file no; "
                       "open -u \"%1\",\"%2\" %3; %4")
            .arg(server.user, server.password, baseUrl(server), command);
    return runTool(QStringLiteral("lftp"), {QStringLiteral("-c"), script});
}

QString login(const Endpoint &server)
{
    return server.user + QLatin1Char(':') + server.password;
}

std::unique_ptr<CurlTransfer> component(const Endpoint &server)
{
    auto transfer = std::make_unique<CurlTransfer>();
    transfer->setURL(QStringLiteral("FTP://127.0.0.1:%1").arg(server.port));
    transfer->setUserName(server.user);
    transfer->setPassword(server.password);
    return transfer;
}

Timing runComponent(const Endpoint &server, const QString &operation)
{
    auto transfer = component(server);
    OperationRunner runner(*transfer);
    const OperationRunner::Result result = runner.run(operation, TimeLimitMs);
    Timing timing;
    timing.ok = result.ok;
    timing.seconds = result.seconds;
    timing.longestGapMs = result.longestGapMs;
    if (!result.ok)
        timing.error = operation + QStringLiteral(": ") + result.failure();
    return timing;
}

} // namespace

const char *clientName(Client client)
{
    switch (client) {
    case Client::Component:
        return "component";
    case Client::CurlTool:
        return "curl";
    case Client::Lftp:
        return "lftp";
    }
    return "";
}

Timing download(Client client, const Endpoint &server, const QString &remote, const QString &local)
{
    switch (client) {
    case Client::Component:
        return runComponent(server, QStringLiteral("GET %1 %2").arg(remote, local));
    case Client::CurlTool:
        return runTool(QStringLiteral("curl"),
                       {"-s", "-S", "-u", login(server), "-o", local, baseUrl(server) + remote});
    case Client::Lftp:
        return runLftp(server, QStringLiteral("get %1 -o %2").arg(remote, local));
    }
    return {};
}

Timing upload(Client client, const Endpoint &server, const QString &local, const QString &remote)
{
    switch (client) {
    case Client::Component:
        return runComponent(server, QStringLiteral("PUT %1 %2").arg(local, remote));
    case Client::CurlTool:
        return runTool(QStringLiteral("curl"),
                       {"-s", "-S", "-u", login(server), "-T", local, baseUrl(server) + remote});
    case Client::Lftp:
        return runLftp(server, QStringLiteral("put %1 -o %2").arg(local, remote));
    }
    return {};
}

Timing componentDownloads(const Endpoint &server, const FileList &files)
{
    auto transfer = component(server);
    OperationRunner runner(*transfer);
    Timing timing;
    timing.ok = true;
    QElapsedTimer clock;
    clock.start();
    for (const auto &[remote, local] : files) {
        const QString operation = QStringLiteral("GET %1 %2").arg(remote, local);
        const OperationRunner::Result result = runner.run(operation, TimeLimitMs);
        timing.perFileSeconds.append(result.seconds);
        timing.longestGapMs = qMax(timing.longestGapMs, result.longestGapMs);
        if (!result.ok) {
            timing.ok = false;
            timing.error = operation + QStringLiteral(": ") + result.failure();
            break;
        }
    }
    timing.seconds = clock.nsecsElapsed() / 1e9;
    return timing;
}

Timing curlDownloads(const Endpoint &server, const FileList &files, const QString &scratch)
{
    const QString listPath = scratch + QStringLiteral("/urls.txt");
    QFile list(listPath);
    if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Timing failed;
        failed.error = QStringLiteral("cannot write %1").arg(listPath);
        return failed;
    }
    for (const auto &[remote, local] : files)
        list.write(QStringLiteral("url = \"%1%2\"\noutput = \"%3\"\n")
                       .arg(baseUrl(server), remote, local)
                       .toUtf8());
    list.close();
    // curl prints each transfer's own time, from its start to its end (-w).
    // On a reused connection the tool now and then sits out a whole 1 s poll
    // timeout of libcurl 7.88's easy interface before it connects a data
    // connection; the per-file times show those waits for what they are.
    QByteArray output;
    Timing timing = runTool(
        QStringLiteral("curl"),
        {"-s", "-S", "-u", login(server), "-w", "%{time_total}\\n", "-K", listPath}, &output);
    for (const QByteArray &line : output.split('\n'))
        if (!line.isEmpty())
            timing.perFileSeconds.append(line.toDouble());
    return timing;
}
