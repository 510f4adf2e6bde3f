#include "site_check_presenter.h"

#include "curl_transfer.h"
#include "text/ftp_command.h"
#include "site_check_window.h"
#include "transfer_component.h"

#include <QUrl>

SiteCheckPresenter::SiteCheckPresenter(TransferComponent *inet, QWidget *owner)
    : QObject(owner), m_inet(inet), m_window(new SiteCheckWindow(owner))
{
    m_window->setLibcurlVersion(libcurlVersion());
    connect(m_inet, &TransferComponent::siteCheckStep, this, &SiteCheckPresenter::addStep);
    connect(m_inet, &TransferComponent::protocolEvent, this, &SiteCheckPresenter::addProtocolLine);
    connect(m_inet, &TransferComponent::finished, this, &SiteCheckPresenter::finish);
    connect(m_window, &SiteCheckWindow::runAgainRequested, this,
            [this] { Q_EMIT runAgain(m_command); });
}

void SiteCheckPresenter::commandStarted(const QString &command, const QString &label)
{
    FtpCommand parsed;
    try {
        parsed = parseFtpCommand(command);
    } catch (const std::invalid_argument &) {
        return;
    }
    if (parsed.verb != FtpVerb::Check)
        return;
    m_command = command;
    m_running = true;
    m_protocol.clear();
    const QUrl url(m_inet->URL(), QUrl::TolerantMode);
    const bool sftp = url.scheme().compare(QLatin1String("sftp"), Qt::CaseInsensitive) == 0;
    m_window->clear(label.isEmpty() ? url.host() : label,
                    siteCheckTarget(url.host(), url.port(sftp ? 22 : 21), parsed.args.value(0),
                                    sftp ? QStringLiteral("sftp") : QStringLiteral("ftp")));
    m_window->show();
    m_window->raise();
}

void SiteCheckPresenter::addStep(const SiteCheckStep &step)
{
    if (m_running)
        m_window->addStep(step);
}

QString siteCheckProtocolLine(const ProtocolEvent &event)
{
    static const char *const marks[] = {">", "<", "*", "-"};
    return QStringLiteral("%1 %2 %3")
        .arg(event.time.toString(QStringLiteral("HH:mm:ss.zzz")),
             QLatin1String(marks[int(event.kind)]), event.text);
}

void SiteCheckPresenter::addProtocolLine(const ProtocolEvent &event)
{
    if (m_running)
        m_protocol << siteCheckProtocolLine(event);
}

void SiteCheckPresenter::finish()
{
    if (!m_running)
        return;
    m_running = false;
    m_window->setProtocolLines(m_protocol);
}
