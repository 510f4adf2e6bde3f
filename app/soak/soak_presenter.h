#pragma once

#include <QElapsedTimer>
#include <QObject>

class SoakWindow;
class TransferComponent;
struct SoakRound;

// Puts a running SOAK into the Soak window: opens it for the console's
// site when the component announces the soak, adds each round as it ends,
// and ends it with the soak. Stop (and Escape) send ABORT.
class SoakPresenter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SoakPresenter)
public:
    SoakPresenter(TransferComponent *inet, QWidget *owner);

    // The console has set the component to the site it lists as `label`.
    void siteApplied(const QString &label) { m_label = label; }
    SoakWindow *window() const { return m_window; }

private:
    void start(const QString &target, const QString &operation);
    void addRound(const SoakRound &round);
    void finish();
    void stop();

    TransferComponent *m_inet;
    SoakWindow *m_window;
    QString m_label;
    bool m_running = false;
    bool m_stopping = false;
    QElapsedTimer m_clock;
};
