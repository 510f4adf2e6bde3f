#include "transfer_clients.h"

#include "curl_transfer.h"
#include "operation_runner.h"
#include "tool_clients.h"

#include <QElapsedTimer>

std::unique_ptr<CurlTransfer> componentFor(const Endpoint &server)
{
    auto transfer = std::make_unique<CurlTransfer>();
    const char *scheme = server.protocol == Protocol::Sftp ? "SFTP" : "FTP";
    transfer->setURL(
        QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(server.port));
    transfer->setUserName(server.user);
    transfer->setPassword(server.password);
    // The same proxy for both, or none: never one from the environment.
    transfer->setProxy(server.socks5.isEmpty()
                           ? std::nullopt
                           : std::optional(parseProxyAddress("socks5://" + server.socks5)));
    return transfer;
}

namespace {

// Adds what one operation took to `timing`; false when it failed, with why.
bool runOperation(OperationRunner &runner, const QString &operation, Timing &timing)
{
    const OperationRunner::Result result = runner.run(operation, TransferTimeLimitMs);
    timing.perFileSeconds.append(result.seconds);
    timing.cpuSeconds += result.cpuSeconds;
    timing.longestGapMs = qMax(timing.longestGapMs, result.longestGapMs);
    if (!result.ok)
        timing.error = operation + QStringLiteral(": ") + result.failure();
    return result.ok;
}

// The operations on one login, one after another, up to the first failure.
Timing runComponent(const Endpoint &server, const QStringList &operations)
{
    auto transfer = componentFor(server);
    OperationRunner runner(*transfer);
    Timing timing;
    QElapsedTimer clock;
    clock.start();
    timing.ok = std::all_of(operations.begin(), operations.end(), [&](const QString &operation) {
        return runOperation(runner, operation, timing);
    });
    timing.seconds = clock.nsecsElapsed() / 1e9;
    return timing;
}

} // namespace

QList<Client> clientsFor(Protocol protocol)
{
    const Client tool = protocol == Protocol::Sftp ? Client::OpenSsh : Client::Lftp;
    return {Client::Component, Client::CurlTool, tool};
}

const char *clientName(Client client)
{
    switch (client) {
    case Client::Component:
        return "component";
    case Client::CurlTool:
        return "curl";
    case Client::Lftp:
        return "lftp";
    case Client::OpenSsh:
        return "sftp";
    }
    return "";
}

const char *protocolName(Protocol protocol)
{
    return protocol == Protocol::Sftp ? "SFTP" : "FTP";
}

Timing download(Client client, const Endpoint &server, const QString &remote, const QString &local)
{
    switch (client) {
    case Client::Component:
        return runComponent(server, {QStringLiteral("GET %1 %2").arg(remote, local)});
    case Client::CurlTool:
        return curlTransfer(server, remote, {"-o", local});
    case Client::Lftp:
        return lftpCommand(server, QStringLiteral("get %1 -o %2").arg(remote, local));
    case Client::OpenSsh:
        return sftpBatch(server, QStringLiteral("get"), {{remote, local}});
    }
    return {};
}

Timing upload(Client client, const Endpoint &server, const QString &local, const QString &remote)
{
    switch (client) {
    case Client::Component:
        return runComponent(server, {QStringLiteral("PUT %1 %2").arg(local, remote)});
    case Client::CurlTool:
        return curlTransfer(server, remote, {"-T", local});
    case Client::Lftp:
        return lftpCommand(server, QStringLiteral("put %1 -o %2").arg(local, remote));
    case Client::OpenSsh:
        return sftpBatch(server, QStringLiteral("put"), {{local, remote}});
    }
    return {};
}

Timing downloads(Client client, const Endpoint &server, const FileList &files)
{
    QStringList operations;
    switch (client) {
    case Client::Component:
        for (const auto &[remote, local] : files)
            operations << QStringLiteral("GET %1 %2").arg(remote, local);
        return runComponent(server, operations);
    case Client::CurlTool:
        return curlDownloads(server, files);
    case Client::OpenSsh:
        return sftpBatch(server, QStringLiteral("get"), files);
    case Client::Lftp:
        break;
    }
    Timing none;
    none.error = QStringLiteral("%1 runs no series").arg(QLatin1String(clientName(client)));
    return none;
}
