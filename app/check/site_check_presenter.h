#pragma once

#include <QObject>
#include <QStringList>

class SiteCheckWindow;
class TransferComponent;
struct ProtocolEvent;
struct SiteCheckProgress;
struct SiteCheckStep;

// A site as the console sets the transfer component to it.
struct SiteCheckSite
{
    QString label; // as the site list shows it
    QString url;
    QString user;
    QString password; // in memory only, as the console holds it

    bool sameAccount(const SiteCheckSite &other) const
    {
        return url == other.url && user == other.user && password == other.password;
    }
};

// Puts a running CHECK into the Site check window: opens it for the site
// when the component announces the check, shows the step in progress, adds a
// row as each step ends, and keeps the protocol lines of the run for the
// saved report. Stop aborts the check; Run again checks the same site and
// folder again, also after the console has chosen another site, which the
// component is set back to once that run ends.
class SiteCheckPresenter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SiteCheckPresenter)
public:
    SiteCheckPresenter(TransferComponent *inet, QWidget *owner);

    // The console has set the component to `site`.
    void siteApplied(const SiteCheckSite &site);
    SiteCheckWindow *window() const { return m_window; }

private:
    void start(const QString &target, const QString &operation);
    void addStep(const SiteCheckStep &step);
    void showProgress(const SiteCheckProgress &progress);
    void addProtocolLine(const ProtocolEvent &event);
    void finish();
    void runAgain();
    void stop();
    void apply(const SiteCheckSite &site);

    TransferComponent *m_inet;
    SiteCheckWindow *m_window;
    SiteCheckSite m_chosen;  // the console's site
    SiteCheckSite m_applied; // the component's site: the console's, or the one Run again set
    SiteCheckSite m_checked; // the site of the check that runs or ran last
    QString m_operation;     // that check's command
    bool m_running = false;
    bool m_stopping = false; // Stop was pressed while it ran
    bool m_giveBack = false; // Run again set another site: the console's comes back at the end
    QStringList m_protocol;  // of the running check
};
