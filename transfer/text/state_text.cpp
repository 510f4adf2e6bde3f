#include "text/state_text.h"

#include "text/resume_text.h"

#include "local_path.h"

#include <QFileInfo>
#include <QLocale>
#include <QStringList>

#include <algorithm>

namespace {

struct StateRow
{
    TransferState state;
    const char *name;
    // How the server follows the name while a command runs; null for the
    // states in which none runs.
    const char *link;
};

// clang-format off
constexpr StateRow States[] = {
    {TransferState::Idle,              "idle",              nullptr},
    {TransferState::ResolvingHost,     "resolving host",    " "},
    {TransferState::HostResolved,      "host resolved",     ": "},
    {TransferState::Connecting,        "connecting",        " to "},
    {TransferState::Connected,         "connected",         " to "},
    {TransferState::Requesting,        "requesting",        " from "},
    {TransferState::RequestSent,       "request sent",      " to "},
    {TransferState::ReceivingResponse, "receiving data",    " from "},
    {TransferState::ResponseReceived,  "response received", " from "},
    {TransferState::Disconnecting,     "disconnecting",     " from "},
    {TransferState::Disconnected,      "disconnected",      " from "},
    {TransferState::Error,             "error",             nullptr},
    {TransferState::ResponseCompleted, "completed",         nullptr},
};
// clang-format on

const StateRow *rowOf(TransferState state)
{
    for (const StateRow &row : States)
        if (row.state == state)
            return &row;
    return nullptr;
}

QString numbered(const StateRow &row)
{
    return QString::number(qint16(row.state)) + QLatin1Char(' ') + QLatin1String(row.name);
}

QString dataSize(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1);
}

// "38.1 MiB in 10.2 s (3.8 MiB/s)"; under a second in milliseconds.
QString amountAndRate(const PhaseTimes &times)
{
    const qint64 micros = std::max<qint64>(times.total, 1000);
    const double seconds = double(micros) / 1e6;
    const QString took = micros < 1'000'000 ? QStringLiteral("%1 ms").arg(micros / 1000)
                                            : QStringLiteral("%1 s").arg(seconds, 0, 'f', 1);
    return QStringLiteral("%1 in %2 (%3/s)")
        .arg(dataSize(times.bytes), took, dataSize(qint64(double(times.bytes) / seconds)));
}

} // namespace

QString transferStateName(TransferState state)
{
    const StateRow *row = rowOf(state);
    return row ? QLatin1String(row->name) : QString::number(qint16(state));
}

QString transferStateList()
{
    QStringList lines;
    for (const StateRow &row : States)
        lines << numbered(row);
    return lines.join(QLatin1Char('\n'));
}

QString runningStateText(TransferState state, const QString &server)
{
    const StateRow *row = rowOf(state);
    if (!row || !row->link)
        return {};
    return numbered(*row) + QLatin1String(row->link) + server;
}

QString commandDoneText(const TransferCommand &command, const PhaseTimes &times)
{
    if (times.bytes < 0)
        return {};
    const QStringList &args = command.args;
    switch (command.verb) {
    case TransferVerb::Get:
        if (args.size() > 1)
            return QStringLiteral("Downloaded %1 to %2")
                .arg(amountAndRate(times), localPath(args.at(1)));
        return QStringLiteral("Downloaded %1; Get Chunk shows it, 1024 characters at a time")
            .arg(amountAndRate(times));
    case TransferVerb::Reget:
        if (times.bytes == 0)
            return {};
        return QStringLiteral("Resumed: downloaded the remaining %1 to %2")
            .arg(amountAndRate(times), resumeLocalPath(command));
    case TransferVerb::Reput:
        if (times.bytes == 0)
            return {};
        return QStringLiteral("Resumed: uploaded the remaining %1 from %2 to %3")
            .arg(amountAndRate(times), resumeLocalPath(command), resumeRemoteName(command));
    case TransferVerb::Put:
        return QStringLiteral("Uploaded %1 from %2 to %3")
            .arg(amountAndRate(times), localPath(args.at(0)), uploadRemoteName(command));
    case TransferVerb::Dir:
    case TransferVerb::Ls:
        return QStringLiteral("The listing (%1) waits for Get Chunk, which shows it 1024 "
                              "characters at a time")
            .arg(dataSize(times.bytes));
    default:
        return {};
    }
}

QString uploadRemoteName(const TransferCommand &command)
{
    if (command.args.size() > 1)
        return command.args.at(1);
    return command.args.isEmpty() ? QString() : QFileInfo(localPath(command.args.at(0))).fileName();
}

QString timeoutText(int seconds, bool changed)
{
    const QString wait =
        QStringLiteral("up to %1 s%2, the final reply after an upload's data "
                       "included")
            .arg(seconds)
            .arg(seconds == DefaultTimeoutSeconds ? QStringLiteral(" (the default)") : QString());
    if (changed)
        return QStringLiteral("From the next command on, each server reply is awaited %1")
            .arg(wait);
    return QStringLiteral("Each server reply is awaited %1; TIMEOUT SECONDS changes it").arg(wait);
}
