#pragma once

#include "text/site_check_report.h"

#include <QWidget>

class QLabel;
class QTableWidget;

// The outcome of a site check as the operator reads it: a window of its own,
// left open beside the console, with a row for each step as it ends and the
// hint of the selected warning or failure below. The table goes to the
// clipboard as text for a ticket, and the whole report to a JSON file.
class SiteCheckWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SiteCheckWindow)
public:
    explicit SiteCheckWindow(QWidget *parent = nullptr);

    // Starts the report of a new run of the check on `target`, for the site
    // the console lists as `label`.
    void clear(const QString &label, const QString &target,
               const QDateTime &started = QDateTime::currentDateTimeUtc());
    void addStep(const SiteCheckStep &step);
    // The whole report at once: the table shows its steps.
    void setReport(const SiteCheckReport &report);
    void setProtocolLines(const QStringList &lines);
    // libcurl's version as the saved report names it.
    void setLibcurlVersion(const QString &version);

    const SiteCheckReport &report() const { return m_report; }
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

protected:
    void showEvent(QShowEvent *event) override;

private:
    void appendRow(const SiteCheckStep &step);
    void showSelectedHint();
    void placeBesideOwner();

    SiteCheckReport m_report;
    QString m_libcurlVersion;
    QLabel *m_summary;
    QTableWidget *m_table;
    QLabel *m_hint;
    bool m_placed = false;
};
