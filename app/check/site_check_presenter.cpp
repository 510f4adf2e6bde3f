#include "check/site_check_presenter.h"

#include "check/site_check_window.h"
#include "curl_transfer.h"
#include "text/protocol_line.h"
#include "transfer_component.h"

#include <stdexcept>
#include <utility>

SiteCheckPresenter::SiteCheckPresenter(TransferComponent *inet, QWidget *owner)
    : QObject(owner), m_inet(inet), m_window(new SiteCheckWindow(owner))
{
    m_window->setLibcurlVersion(libcurlVersion());
    connect(m_inet, &TransferComponent::siteCheckStarted, this, &SiteCheckPresenter::start);
    connect(m_inet, &TransferComponent::siteCheckStep, this, &SiteCheckPresenter::addStep);
    connect(m_inet, &TransferComponent::siteCheckProgress, this, &SiteCheckPresenter::showProgress);
    connect(m_inet, &TransferComponent::protocolEvent, this, &SiteCheckPresenter::addProtocolLine);
    connect(m_inet, &TransferComponent::finished, this, &SiteCheckPresenter::finish);
    connect(m_window, &SiteCheckWindow::runAgainRequested, this, &SiteCheckPresenter::runAgain);
    connect(m_window, &SiteCheckWindow::stopRequested, this, &SiteCheckPresenter::stop);
}

void SiteCheckPresenter::siteApplied(const SiteCheckSite &site)
{
    m_chosen = site;
    m_applied = site;
    // The console's choice stands, also over a Run again still running.
    m_giveBack = false;
}

void SiteCheckPresenter::start(const QString &target, const QString &operation)
{
    m_operation = operation;
    m_checked = m_applied;
    m_running = true;
    m_stopping = false;
    m_protocol.clear();
    m_window->clear(m_checked.label.isEmpty() ? target : m_checked.label, target);
    m_window->show();
    m_window->raise();
}

void SiteCheckPresenter::addStep(const SiteCheckStep &step)
{
    if (m_running)
        m_window->addStep(step);
}

void SiteCheckPresenter::showProgress(const SiteCheckProgress &progress)
{
    if (m_running)
        m_window->showProgress(progress);
}

void SiteCheckPresenter::addProtocolLine(const ProtocolEvent &event)
{
    if (m_running)
        m_protocol << protocolLine(event);
}

void SiteCheckPresenter::finish()
{
    if (m_giveBack) {
        m_giveBack = false;
        apply(m_chosen);
    }
    if (!m_running)
        return;
    m_running = false;
    m_window->setProtocolLines(m_protocol);
    m_window->finish();
    if (std::exchange(m_stopping, false))
        m_window->showNotice(tr("stopped by the operator"));
}

void SiteCheckPresenter::runAgain()
{
    if (m_running || m_operation.isEmpty())
        return;
    const bool otherSite = !m_checked.sameAccount(m_applied);
    if (otherSite)
        apply(m_checked);
    try {
        m_inet->Execute(m_operation);
    } catch (const std::exception &error) {
        if (otherSite)
            apply(m_chosen);
        m_window->showNotice(tr("Not run again: %1").arg(QString::fromUtf8(error.what())));
        return;
    }
    m_giveBack = otherSite;
}

void SiteCheckPresenter::stop()
{
    if (!m_running)
        return;
    try {
        m_inet->Execute(QStringLiteral("ABORT"));
        m_window->showNotice(tr("stopping the check"));
        m_stopping = true;
    } catch (const std::exception &error) {
        m_window->showNotice(QString::fromUtf8(error.what()));
    }
}

void SiteCheckPresenter::apply(const SiteCheckSite &site)
{
    m_applied = site;
    m_inet->setURL(site.url);
    m_inet->setUserName(site.user);
    m_inet->setPassword(site.password);
}
