#pragma once

#include "text/report/site_check_report.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

// The outcome of a site check as the operator reads it: a window of its own,
// left open beside the console, with a row for each step as it ends and the
// hint of the selected warning or failure below. While the check runs it
// names the step in progress and offers Stop; once it ends the first failure
// (else the first warning) is selected and named in the header. The table
// goes to the clipboard as text for a ticket, and the whole report to a JSON
// file.
class SiteCheckWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SiteCheckWindow)
public:
    explicit SiteCheckWindow(QWidget *parent = nullptr);

    // Starts the report of a new run of the check on `target`, for the site
    // the console lists as `label`: the window shows it running until
    // finish().
    void clear(const QString &label, const QString &target,
               const QDateTime &started = QDateTime::currentDateTimeUtc());
    void addStep(const SiteCheckStep &step);
    // The step that has begun, while the check runs.
    void showProgress(const SiteCheckProgress &progress);
    // The check has ended, with or without its steps.
    void finish();
    // A line for the operator in place of the step in progress: why Run
    // again did not start.
    void showNotice(const QString &text);
    // The whole report at once, as of a check that has ended.
    void setReport(const SiteCheckReport &report);
    void setProtocolLines(const QStringList &lines);
    // libcurl's version as the saved report names it.
    void setLibcurlVersion(const QString &version);

    const SiteCheckReport &report() const { return m_report; }
    bool running() const { return m_running; }
    // The header above the table: the target, the verdict and, once the
    // check has ended, the step to look at first.
    QString summary() const;
    // The line under the header: the step in progress while the check runs.
    QString progress() const;
    // The hint under the table: the selected step's, for a warning or failure.
    QString hint() const;

    void copyToClipboard();
    // Asks where, then saves.
    void save();
    // The report as JSON in `path`; false, with the reason in `error`, when
    // it cannot be written.
    bool saveTo(const QString &path, QString *error = nullptr) const;

Q_SIGNALS:
    void runAgainRequested();
    void stopRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QPushButton *makeButton(const QString &text, const QString &toolTip);
    void fitAllSteps();
    void appendRow(const SiteCheckStep &step);
    void showSummary();
    void selectCulprit();
    void showSelectedHint();
    void setRunning(bool running);

    SiteCheckReport m_report;
    QString m_libcurlVersion;
    bool m_running = false;
    QLabel *m_summary;
    QLabel *m_progress;
    QTableWidget *m_table;
    QLabel *m_hint;
    QList<QPushButton *> m_afterEnd; // Copy, Save and Run again
    QPushButton *m_stop = nullptr;
    bool m_placed = false;
};
