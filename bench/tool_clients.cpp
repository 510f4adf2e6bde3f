#include "tool_clients.h"

#include "cpu_time.h"

#include <QElapsedTimer>
#include <QProcess>

namespace {

// Runs a tool to its end, with `input` on its standard input; `output`, when
// given, receives its standard output.
Timing runTool(const QString &program, const QStringList &arguments, const QByteArray &input = {},
               QByteArray *output = nullptr)
{
    Timing timing;
    QProcess process;
    QElapsedTimer clock;
    // The tool's helpers (ssh under sftp) count towards the tool.
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    clock.start();
    process.start(program, arguments);
    if (process.waitForStarted())
        process.write(input);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(TransferTimeLimitMs);
    timing.seconds = clock.nsecsElapsed() / 1e9;
    // Counted once QProcess has reaped the tool, which waitForFinished does.
    timing.cpuSeconds = cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
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

// The folder remote names are taken against: the login folder.
QString baseUrl(const Endpoint &server)
{
    return server.protocol == Protocol::Sftp
               ? QStringLiteral("sftp://127.0.0.1:%1/~/").arg(server.port)
               : QStringLiteral("ftp://127.0.0.1:%1/").arg(server.port);
}

// The login, and over SFTP the key and the pinned host key; -q keeps the
// operator's own .curlrc out of it.
QStringList curlLogin(const Endpoint &server)
{
    QStringList arguments{"-q", "-s", "-S", "-u", server.user + QLatin1Char(':') + server.password};
    // --proxy "" keeps a proxy of the environment out, as the component does.
    if (server.socks5.isEmpty())
        arguments << "--proxy"
                  << "";
    else
        arguments << "--socks5" << server.socks5;
    if (server.protocol == Protocol::Sftp)
        arguments << "--key" << server.keyPath << "--pubkey" << server.keyPath + ".pub"
                  << "--hostpubsha256" << server.hostKeySha256;
    return arguments;
}

// A quoted argument of curl's config files and sftp's batches, which both
// take a backslash before a quote or a backslash.
QString quoted(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace('"', QLatin1String("\\\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

Timing curlTransfer(const Endpoint &server, const QString &remote, const QStringList &arguments)
{
    return runTool(QStringLiteral("curl"),
                   curlLogin(server) + arguments + QStringList{baseUrl(server) + remote});
}

Timing curlHashed(const Endpoint &server, const QString &remote, QByteArray *sha256sum)
{
    // The shell passes curl's arguments on as they are ("$@").
    return runTool(QStringLiteral("bash"),
                   QStringList{"-o", "pipefail", "-c", "curl \"$@\" | sha256sum", "curl"} +
                       curlLogin(server) + QStringList{baseUrl(server) + remote},
                   {}, sha256sum);
}

Timing curlDownloads(const Endpoint &server, const FileList &files)
{
    QByteArray config;
    for (const auto &[remote, local] : files)
        config += QStringLiteral("url = %1\noutput = %2\n")
                      .arg(quoted(baseUrl(server) + remote), quoted(local))
                      .toUtf8();
    // curl prints each transfer's own time, from its start to its end (-w).
    // On a reused FTP connection the tool now and then sits out a whole 1 s
    // poll timeout of libcurl 7.88's easy interface before it connects a data
    // connection; the per-file times show those waits for what they are.
    QByteArray output;
    Timing timing = runTool(QStringLiteral("curl"),
                            curlLogin(server) + QStringList{"-w", "%{time_total}\\n", "-K", "-"},
                            config, &output);
    for (const QByteArray &line : output.split('\n'))
        if (!line.isEmpty())
            timing.perFileSeconds.append(line.toDouble());
    return timing;
}

Timing curlRounds(const Endpoint &server, const FileList &files)
{
    // Each round an upload, then a download whose DELE follows it, all on
    // the one connection the invocation keeps.
    QStringList operations;
    for (const auto &[local, remote] : files)
        operations << QStringLiteral("upload-file = %1\nurl = %2\nnext\n"
                                     "url = %2\noutput = /dev/null\nquote = %3\n")
                          .arg(quoted(local), quoted(baseUrl(server) + remote),
                               quoted(QStringLiteral("-DELE ") + remote));
    const QByteArray config = operations.join(QStringLiteral("next\n")).toUtf8();
    return runTool(QStringLiteral("curl"), curlLogin(server) + QStringList{"-K", "-"}, config);
}

// A plain, single-stream transfer: no TLS attempt, no parallel segments, no
// retries that would hide a failure.
Timing lftpCommand(const Endpoint &server, const QString &command)
{
    const QString script =
        QStringLiteral("set cmd:fail-exit yes; set ftp:ssl-allow no; set xfer:clobber on; "
                       "set pget:default-n 1; set net:max-retries 1; set xfer:use-temp-file no; "
                       "open -u \"%1\",\"%2\" %3; %4")
            .arg(server.user, server.password, baseUrl(server), command);
    return runTool(QStringLiteral("lftp"), {QStringLiteral("-c"), script});
}

// The operator's ssh configuration stays out (-F /dev/null); the key and the
// host keys are the benchmark's own, and the server's key must be known.
Timing sftpBatch(const Endpoint &server, const QString &verb, const FileList &arguments)
{
    QByteArray batch;
    for (const auto &[from, to] : arguments)
        batch += QStringLiteral("%1 %2 %3\n").arg(verb, quoted(from), quoted(to)).toUtf8();
    QStringList options{"-q", "-b", "-", "-F", "/dev/null", "-i", server.keyPath};
    options << "-o"
            << "IdentitiesOnly=yes"
            << "-o"
            << "StrictHostKeyChecking=yes"
            << "-o"
            << "UserKnownHostsFile=" + server.knownHostsPath << "-c" << server.cipher << "-P"
            << QString::number(server.port) << server.user + QStringLiteral("@127.0.0.1");
    return runTool(QStringLiteral("sftp"), options, batch);
}
