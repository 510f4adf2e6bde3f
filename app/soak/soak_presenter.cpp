#include "soak/soak_presenter.h"

#include "curl_transfer.h"
#include "soak/soak_window.h"
#include "text/transfer_command.h"
#include "transfer_component.h"

#include <stdexcept>
#include <utility>

SoakPresenter::SoakPresenter(TransferComponent *inet, QWidget *owner)
    : QObject(owner), m_inet(inet), m_window(new SoakWindow(owner))
{
    m_window->setLibcurlVersion(libcurlVersion());
    connect(m_inet, &TransferComponent::soakStarted, this, &SoakPresenter::start);
    connect(m_inet, &TransferComponent::soakRound, this, &SoakPresenter::addRound);
    connect(m_inet, &TransferComponent::finished, this, &SoakPresenter::finish);
    connect(m_window, &SoakWindow::stopRequested, this, &SoakPresenter::stop);
}

void SoakPresenter::start(const QString &target, const QString &operation)
{
    m_running = true;
    m_stopping = false;
    m_clock.start();
    int rounds = DefaultSoakRounds;
    try {
        rounds = soakArguments(parseTransferCommand(operation).args).rounds;
    } catch (const std::invalid_argument &) {
        // Not the component's own SOAK: the rounds' reports will say.
    }
    m_window->clear(m_label.isEmpty() ? target : m_label, target, rounds);
    m_window->show();
    m_window->raise();
}

void SoakPresenter::addRound(const SoakRound &round)
{
    if (m_running)
        m_window->addRound(round);
}

void SoakPresenter::finish()
{
    if (!std::exchange(m_running, false))
        return;
    m_window->finish(m_clock.elapsed());
    if (std::exchange(m_stopping, false))
        m_window->showNotice(
            tr("stopped by the operator after %1 rounds").arg(m_window->soak().rounds.size()));
}

void SoakPresenter::stop()
{
    if (!m_running || m_stopping)
        return;
    try {
        m_inet->Execute(QStringLiteral("ABORT"));
        m_window->showNotice(tr("stopping after this round's clean-up"));
        m_stopping = true;
    } catch (const std::exception &error) {
        m_window->showNotice(QString::fromUtf8(error.what()));
    }
}
