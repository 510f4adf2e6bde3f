#include "check/terminal_check_run.h"

#include "check/terminal_options.h"
#include "curl_transfer.h"
#include "text/protocol_line.h"
#include "text/report/check_in_terminal.h"
#include "text/transfer_address.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include <optional>

TerminalCheckRun runTerminalCheck(const TerminalCheckOrder &order)
{
    CurlTransfer transfer;
    QEventLoop loop;
    const TerminalAccount account(transfer, order.url, order.trust, order.proxy, loop);
    transfer.setCertificateLimits(order.limits);

    TerminalCheckRun run;
    SiteCheckReport &report = run.report;
    report.label = order.url.host();
    report.started = QDateTime::currentDateTimeUtc();
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&transfer, &TransferComponent::siteCheckStarted, &loop,
                     [&report](const QString &target) { report.target = target; });
    QObject::connect(&transfer, &TransferComponent::siteCheckStep, &loop,
                     [&](const SiteCheckStep &step) { report.steps << step; });
    QObject::connect(
        &transfer, &TransferComponent::protocolEvent, &loop,
        [&](const ProtocolEvent &event) { report.protocolLines << protocolLine(event); });
    try {
        transfer.Execute(order.folder.isEmpty() ? QStringLiteral("CHECK")
                                                : QStringLiteral("CHECK \"%1\"").arg(order.folder));
    } catch (const std::exception &error) {
        run.fault = QString::fromUtf8(error.what());
        return run;
    }
    loop.exec();
    report.durationMs = clock.elapsed();

    if (const std::optional<TrustQuestion> &refused = account.refused()) {
        // Stopped at a certificate, a host key or clear text it may not
        // trust: that step failed, and the account cannot be used as it is.
        run.untrusted = untrustedInTerminal(*refused, order.trust,
                                            transferAddress(order.url.toString())->implicitTls);
        if (report.target.isEmpty())
            report.target = order.url.toString(QUrl::RemoveUserInfo);
        report.steps = untrustedSteps(report.steps, *refused, order.trust, transfer.ResponseInfo());
    } else if (report.steps.isEmpty()) {
        run.fault = transfer.ResponseInfo();
        return run;
    }
    if (account.trustedByOption())
        for (SiteCheckStep &step : report.steps)
            step.outcome.detail = trustedByOptionWording(step.outcome.detail);
    run.ran = true;
    return run;
}
