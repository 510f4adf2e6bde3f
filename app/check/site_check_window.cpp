#include "check/site_check_window.h"

#include "text/report/site_check_summary.h"
#include "window_placement.h"

#include <QClipboard>
#include <QColor>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column { StepColumn, ResultColumn, TimeColumn, DetailColumn, ColumnCount };

} // namespace

SiteCheckWindow::SiteCheckWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), m_summary(new QLabel), m_progress(new QLabel),
      m_table(new QTableWidget(0, ColumnCount)), m_hint(new QLabel)
{
    setObjectName(QStringLiteral("SiteCheck"));
    setWindowTitle(tr("Site check"));

    m_table->setHorizontalHeaderLabels({tr("Step"), tr("Result"), tr("Time"), tr("Detail")});
    m_table->setAccessibleName(tr("Site check steps"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    // One line a step, so that all sixteen show at once.
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideRight);
    m_table->horizontalHeader()->setStretchLastSection(true);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &SiteCheckWindow::showSelectedHint);
    m_summary->setObjectName(QStringLiteral("Summary"));
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setAccessibleName(tr("Verdict"));
    QFont bold = m_summary->font();
    bold.setBold(true);
    m_summary->setFont(bold);
    // The target and verdict, and once the check ends the step to look at first.
    m_summary->setMinimumHeight(2 * QFontMetrics(bold).lineSpacing());
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setAccessibleName(tr("Step in progress"));
    m_progress->setMinimumHeight(fontMetrics().lineSpacing());
    m_hint->setObjectName(QStringLiteral("Hint"));
    m_hint->setWordWrap(true);
    m_hint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_hint->setAccessibleName(tr("Hint"));
    // Room for a hint of two lines, so that showing one does not shrink the table.
    m_hint->setMinimumHeight(2 * fontMetrics().lineSpacing());
    m_hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *buttons = new QHBoxLayout;
    m_stop = makeButton(tr("Stop"), tr("Stop the check, as ABORT does"));
    connect(m_stop, &QPushButton::clicked, this, &SiteCheckWindow::stopRequested);
    buttons->addWidget(m_stop);
    buttons->addStretch();
    QPushButton *copy =
        makeButton(tr("Copy"), tr("Copy the table as text, to paste into a ticket"));
    connect(copy, &QPushButton::clicked, this, &SiteCheckWindow::copyToClipboard);
    QPushButton *save = makeButton(
        tr("Save..."), tr("Save the whole report, with the protocol lines, as a JSON file"));
    connect(save, &QPushButton::clicked, this, &SiteCheckWindow::save);
    QPushButton *again = makeButton(tr("Run again"), tr("Check the same site and folder again"));
    connect(again, &QPushButton::clicked, this, &SiteCheckWindow::runAgainRequested);
    m_afterEnd = {copy, save, again};
    QPushButton *close = makeButton(tr("Close"), tr("Close this window (Esc)"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    for (QPushButton *button : {copy, save, again, close})
        buttons->addWidget(button);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_progress);
    layout->addWidget(m_table);
    layout->addWidget(m_hint);
    layout->addLayout(buttons);
    setRunning(false);
    fitAllSteps();
}

QPushButton *SiteCheckWindow::makeButton(const QString &text, const QString &toolTip)
{
    auto *button = new QPushButton(text);
    button->setToolTip(toolTip);
    button->setAutoDefault(false);
    return button;
}

void SiteCheckWindow::fitAllSteps()
{
    const auto steps = std::max(siteCheckSteps().size(), sftpSiteCheckSteps().size());
    const int table = m_table->horizontalHeader()->sizeHint().height() +
                      int(steps) * m_table->verticalHeader()->defaultSectionSize() +
                      2 * m_table->frameWidth() + fontMetrics().height() / 2; // and some slack
    layout()->activate();
    resize(900, sizeHint().height() - m_table->sizeHint().height() + table);
}

void SiteCheckWindow::clear(const QString &label, const QString &target, const QDateTime &started)
{
    setReport(SiteCheckReport{target, label, started.toUTC(), {}, {}});
    setRunning(true);
    m_progress->setText(tr("starting the check"));
    showSummary();
}

void SiteCheckWindow::addStep(const SiteCheckStep &step)
{
    m_report.steps << step;
    appendRow(step);
    showSummary();
}

void SiteCheckWindow::showProgress(const SiteCheckProgress &progress)
{
    if (m_running)
        m_progress->setText(siteCheckProgressLine(progress));
}

void SiteCheckWindow::finish()
{
    setRunning(false);
    m_progress->clear();
    showSummary();
    selectCulprit();
}

void SiteCheckWindow::showNotice(const QString &text)
{
    m_progress->setText(text);
}

void SiteCheckWindow::setReport(const SiteCheckReport &report)
{
    m_report = report;
    setWindowTitle(tr("Site check - %1").arg(report.label));
    m_table->setRowCount(0);
    m_hint->clear();
    for (const SiteCheckStep &step : report.steps)
        appendRow(step);
    finish();
}

void SiteCheckWindow::setProtocolLines(const QStringList &lines)
{
    m_report.protocolLines = lines;
}

void SiteCheckWindow::setLibcurlVersion(const QString &version)
{
    m_libcurlVersion = version;
}

void SiteCheckWindow::setRunning(bool running)
{
    m_running = running;
    for (QPushButton *button : std::as_const(m_afterEnd))
        button->setEnabled(!running);
    m_stop->setEnabled(running);
}

void SiteCheckWindow::appendRow(const SiteCheckStep &step)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    const QString cells[ColumnCount] = {siteCheckStepTitle(step.id),
                                        siteCheckResultWord(step.outcome.result),
                                        siteCheckElapsedText(step.elapsedMs), step.outcome.detail};
    for (int column = 0; column < ColumnCount; ++column) {
        auto *item = new QTableWidgetItem(cells[column]);
        // The detail column ends at the window's edge; the whole line and
        // the hint show on hovering.
        if (column == DetailColumn)
            item->setToolTip(step.outcome.hint.isEmpty()
                                 ? step.outcome.detail
                                 : step.outcome.detail + QLatin1Char('\n') + step.outcome.hint);
        if (column == TimeColumn)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (column == ResultColumn && step.outcome.result == SiteCheckResult::Fail)
            item->setForeground(QColor(0xc0, 0x00, 0x00));
        if (column == ResultColumn && step.outcome.result == SiteCheckResult::Warning)
            item->setForeground(QColor(0xa0, 0x60, 0x00));
        m_table->setItem(row, column, item);
    }
    for (int column = StepColumn; column < DetailColumn; ++column)
        m_table->resizeColumnToContents(column);
    m_table->scrollToBottom();
}

void SiteCheckWindow::showSummary()
{
    QString text = m_report.target;
    if (!m_report.steps.isEmpty())
        text += QStringLiteral(": ") + siteCheckVerdictLine(m_report.steps);
    const QString culprit = m_running ? QString() : siteCheckCulpritLine(m_report.steps);
    if (!culprit.isEmpty())
        text += QLatin1Char('\n') + culprit;
    m_summary->setText(text);
}

void SiteCheckWindow::selectCulprit()
{
    const int row = siteCheckCulpritIndex(m_report.steps);
    if (row < 0) {
        m_table->clearSelection();
    } else {
        m_table->selectRow(row);
        m_table->scrollToItem(m_table->item(row, StepColumn));
    }
    showSelectedHint();
}

QString SiteCheckWindow::summary() const
{
    return m_summary->text();
}

QString SiteCheckWindow::progress() const
{
    return m_progress->text();
}

QString SiteCheckWindow::hint() const
{
    return m_hint->text();
}

void SiteCheckWindow::showSelectedHint()
{
    const QList<QTableWidgetItem *> selected = m_table->selectedItems();
    const int row = selected.isEmpty() ? -1 : selected.first()->row();
    QString text;
    if (row >= 0 && row < m_report.steps.size()) {
        const SiteCheckOutcome &outcome = m_report.steps[row].outcome;
        if (outcome.result == SiteCheckResult::Warning || outcome.result == SiteCheckResult::Fail)
            text = outcome.hint;
    }
    m_hint->setText(text);
}

void SiteCheckWindow::copyToClipboard()
{
    QGuiApplication::clipboard()->setText(siteCheckTable(m_report));
}

void SiteCheckWindow::save()
{
    const QString stamp = m_report.started.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save site check"), QStringLiteral("site-check-%1.json").arg(stamp),
        tr("JSON files (*.json)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveTo(path, &error))
        m_hint->setText(tr("Not saved: %1").arg(error));
}

bool SiteCheckWindow::saveTo(const QString &path, QString *error) const
{
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       file.write(siteCheckJson(m_report, m_libcurlVersion)) >= 0 && file.commit();
    if (!saved && error)
        *error = file.errorString();
    return saved;
}

void SiteCheckWindow::showEvent(QShowEvent *event)
{
    // Narrower if need be, but never too short for every step: rather over
    // the owner than scrolled.
    if (!m_placed)
        m_placed = placeBesideOwner(this, QSize(std::min(width(), 600), height()));
    QWidget::showEvent(event);
}
