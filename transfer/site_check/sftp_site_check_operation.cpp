#include "site_check/sftp_site_check_operation.h"

#include "engine/report_queue.h"
#include "sftp/sftp_paths.h"
#include "sftp/sftp_plan.h"
#include "sftp/sftp_status.h"
#include "site_check/sftp_site_check_rules.h"
#include "site_check/site_check_file_rules.h"
#include "site_check/site_check_findings.h"

#include <QDir>
#include <QRandomGenerator>

SftpSiteCheckOperation::SftpSiteCheckOperation(OperationOrder order,
                                               const OperationContext &context)
    : CurlOperation(std::move(order), context),
      m_logins(sshLoginsFor(m_order.password, QDir::homePath(),
                            !qEnvironmentVariableIsEmpty("SSH_AUTH_SOCK"))),
      m_ssh(m_order, m_logins.front(), context.trust.hostKey, m_reports, [] {})
{
    m_clock.start();
    QRandomGenerator random(QRandomGenerator::system()->generate());
    m_fileName = siteCheckFileName(QDateTime::currentDateTimeUtc(), random);
    m_data.setPayload(siteCheckPayload(random));
    m_reports.protocol(ProtocolEvent::Kind::Info, startLine(m_order.command));
    m_addresses = resolveHost(m_order.host);
    m_resolveMs = now();
    setUp(Request::Login);
}

QString SftpSiteCheckOperation::filePath() const
{
    return sftpPath(m_folder, m_fileName);
}

void SftpSiteCheckOperation::setUp(Request request)
{
    m_request = request;
    m_requestStart = now();
    m_commands.reset();
    SftpRequestKind kind = SftpRequestKind::Look;
    QString path = filePath();
    switch (request) {
    case Request::Login: {
        // libcurl resolves "/~/" against the login folder and its "pwd" names it.
        const SftpStep home = resolveStep(RemoteFolder{});
        path = home.path;
        for (const QByteArray &command : home.commands)
            appendTo(m_commands, command);
        break;
    }
    case Request::Listing:
        kind = SftpRequestKind::ListNames;
        path = sftpFolderPath(m_folder);
        break;
    case Request::Upload:
        kind = SftpRequestKind::Upload;
        break;
    case Request::ReadBack:
        kind = SftpRequestKind::Download;
        break;
    case Request::Delete:
        m_cleanUpStart = now();
        path = QStringLiteral("/");
        appendTo(m_commands, "rm " + sftpQuoted(filePath()));
        break;
    case Request::Verify:
    case Request::Gone:
    case Request::None:
        break;
    }
    prepareSftpRequest(m_easy, m_order, m_logins.at(m_loginIndex), kind,
                       sftpUrl(m_order.serverUrl, path));
    if (m_commands)
        setOption(m_easy, CURLOPT_QUOTE, m_commands.get());
    if (request == Request::Verify)
        setOption(m_easy, CURLOPT_FILETIME, 1L);
    m_ssh.install(m_easy);
    installCallbacks();
    m_data.restart(m_easy, request == Request::Upload);
}

OperationStep SftpSiteCheckOperation::done(CURLcode result)
{
    m_ssh.afterAction(m_easy); // a connection made in libcurl's last call still counts
    if (m_ssh.refusedKey()) {
        OperationStep step = m_ssh.refusedKeyStep();
        // An unknown key: the engine asks, and on Yes the check starts anew.
        if (step.kind != OperationStep::Kind::Finished)
            return step;
        afterLogin(result);
        return OperationStep::finished(outcome());
    }
    // A key the server refused: the next one, on a connection of its own.
    if (m_request == Request::Login && result == CURLE_LOGIN_DENIED &&
        m_loginIndex + 1 < m_logins.size()) {
        m_ssh.setLogin(m_logins.at(++m_loginIndex));
        setUp(Request::Login);
        return continued();
    }
    const qint64 elapsed = now() - m_requestStart;
    Request next = Request::None;
    switch (m_request) {
    case Request::Login:
        next = afterLogin(result);
        break;
    case Request::Listing:
        next = afterListing(result);
        break;
    case Request::Upload:
        next = afterUpload(result);
        break;
    case Request::Verify:
        next = afterVerify(result);
        break;
    case Request::ReadBack:
        report(SiteCheckStepId::ReadBack,
               result == CURLE_OK
                   ? readBackOutcome(
                         m_data.payload(), m_data.received(),
                         m_data.firstByteMs() < 0 ? -1 : m_data.firstByteMs() - m_requestStart,
                         elapsed)
                   : SiteCheckOutcome::fail(failure(result, filePath()),
                                            QStringLiteral("The file cannot be read back.")),
               elapsed, {{QStringLiteral("bytes"), qlonglong(m_data.received().size())}});
        next = Request::Delete;
        break;
    case Request::Delete:
        next = afterDelete(result);
        break;
    case Request::Gone:
        m_data.setFileMayExist(false); // deleted, or named as left behind
        report(SiteCheckStepId::CleanUp,
               sftpCleanUpOutcome(m_rmFailure, filePath(), result == CURLE_OK),
               now() - m_cleanUpStart);
        break;
    case Request::None:
        break;
    }
    if (next == Request::None)
        return OperationStep::finished(outcome());
    try {
        setUp(next);
    } catch (const std::exception &error) {
        skipFrom(SiteCheckStepId::NameResolution, QString::fromUtf8(error.what()));
        return OperationStep::finished(outcome());
    }
    return continued();
}

QString SftpSiteCheckOperation::failure(CURLcode result, const QString &path) const
{
    if (result == CURLE_OK)
        return {};
    const QString detail = errorDetail();
    if (const std::optional<int> status = sftpStatus(result, detail))
        return sftpStatusText(*status, path);
    return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(result)) : detail;
}

void SftpSiteCheckOperation::report(SiteCheckStepId id, const SiteCheckOutcome &outcome,
                                    qint64 elapsedMs, const QVariantMap &measured)
{
    if (m_reported.contains(id))
        return;
    m_reported.insert(id);
    const SiteCheckStep step = siteCheckStep(id, outcome, elapsedMs, measured);
    m_steps << step;
    m_reports.siteCheckStep(step);
}

void SftpSiteCheckOperation::skipFrom(SiteCheckStepId from, const QString &reason)
{
    const QList<SiteCheckStepId> steps = sftpSiteCheckSteps();
    for (qsizetype i = steps.indexOf(from); i >= 0 && i < steps.size(); ++i)
        report(steps.at(i), SiteCheckOutcome::skipped(reason), -1);
}

OperationOutcome SftpSiteCheckOperation::outcome()
{
    skipFrom(SiteCheckStepId::NameResolution, QStringLiteral("the check ended before this step"));
    OperationOutcome outcome;
    outcome.ok = siteCheckVerdict(m_steps) != SiteCheckResult::Fail;
    outcome.summary = siteCheckVerdictLine(m_steps);
    if (!outcome.ok)
        outcome.failure = outcome.summary;
    outcome.freshLogin = true;
    if (m_loggedIn)
        outcome.protection = m_ssh.protection();
    outcome.times.total = now() * 1000;
    return outcome;
}

OperationOutcome SftpSiteCheckOperation::stop()
{
    sayStopped();
    if (m_data.fileMayExist())
        cleanUpAfterStop();
    skipFrom(SiteCheckStepId::NameResolution, QLatin1String(StoppedText));
    OperationOutcome stopped = outcome();
    stopped.ok = false;
    stopped.failure = QLatin1String(StoppedText);
    return stopped;
}

ConnectionListener::Socket SftpSiteCheckOperation::socketOpening(const QString &address)
{
    // The password goes out once: only the test file's deletion may log in again.
    if (m_loggedIn && m_request != Request::Delete && m_request != Request::Gone)
        return Socket::Refused;
    m_ssh.socketOpening(address);
    return Socket::Control;
}

// --- libcurl's callbacks. They run inside libcurl calls, so they only record and queue.

bool SftpSiteCheckOperation::replyHeader(QByteArrayView line)
{
    m_header = QString::fromUtf8(line).trimmed();
    return true;
}

void SftpSiteCheckOperation::debugOutput(curl_infotype type, QByteArrayView data)
{
    m_ssh.debugOutput(m_easy, type, data);
}
