#pragma once

#include <QObject>
#include <QStringList>

class SiteCheckWindow;
class TransferComponent;
struct ProtocolEvent;
struct SiteCheckStep;

// Puts a running CHECK into the Site check window: opens it for the site
// when the command starts, adds a row as each step ends, and keeps the
// protocol lines of the run for the saved report. Run again asks the console
// to run the same command.
class SiteCheckPresenter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SiteCheckPresenter)
public:
    SiteCheckPresenter(TransferComponent *inet, QWidget *owner);

    // The operator's command has been accepted; a CHECK opens the window
    // for the site listed as `label`.
    void commandStarted(const QString &command, const QString &label);
    SiteCheckWindow *window() const { return m_window; }

Q_SIGNALS:
    // Run again: the command to run as it was typed.
    void runAgain(const QString &command);

private:
    void addStep(const SiteCheckStep &step);
    void addProtocolLine(const ProtocolEvent &event);
    void finish();

    TransferComponent *m_inet;
    SiteCheckWindow *m_window;
    QString m_command; // the CHECK that runs or ran last
    bool m_running = false;
    QStringList m_protocol; // of the running check
};
