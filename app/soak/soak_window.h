#pragma once

#include "text/report/soak_formats.h"

#include <QWidget>

class QChart;
class QLabel;
class QPushButton;
class QTableWidget;

// A soak as the operator follows it, in a window of its own beside the
// console: the round in progress while it runs, then the summary (its line,
// and p50, p95 and max of each phase), the failed rounds with the size
// sent, the bytes the server kept and why, and a chart of each round's
// phase times with the failed rounds marked. Stop and Escape stop it after
// the round's clean-up, as ABORT does; Copy puts the summary on the
// clipboard, Save writes the rounds as JSON.
class SoakWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SoakWindow)
public:
    explicit SoakWindow(QWidget *parent = nullptr);

    // A new soak of `rounds` rounds on `target`, of the site the console
    // lists as `label`.
    void clear(const QString &label, const QString &target, int rounds,
               const QDateTime &started = QDateTime::currentDateTimeUtc());
    void addRound(const SoakRound &round);
    // The soak has ended, after `durationMs`.
    void finish(qint64 durationMs);
    void showNotice(const QString &text);
    void setLibcurlVersion(const QString &version) { m_libcurlVersion = version; }

    const SoakDocument &soak() const { return m_soak; }
    bool running() const { return m_running; }
    // The header: the target and, once it has rounds, the summary line.
    QString summary() const;
    // The line under it: the round in progress, or a notice.
    QString progress() const;
    QTableWidget *phaseTable() const { return m_phases; }
    QTableWidget *failedTable() const { return m_failed; }
    QChart *chart() const { return m_chart; }

    void copyToClipboard();
    void save();
    bool saveTo(const QString &path, QString *error = nullptr) const;

Q_SIGNALS:
    void stopRequested();

private:
    QPushButton *makeButton(const QString &text, const QString &toolTip);
    void showSummary();
    void drawChart();
    void escape();

    SoakDocument m_soak;
    QString m_libcurlVersion;
    bool m_running = false;
    QLabel *m_summary;
    QLabel *m_progress;
    QTableWidget *m_phases;
    QTableWidget *m_failed;
    QChart *m_chart;
    QPushButton *m_stop;
    QList<QPushButton *> m_afterEnd; // Copy and Save
};
