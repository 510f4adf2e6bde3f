#include "site_check_window.h"

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
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { StepColumn, ResultColumn, TimeColumn, DetailColumn, ColumnCount };

} // namespace

SiteCheckWindow::SiteCheckWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), m_summary(new QLabel), m_table(new QTableWidget(0, ColumnCount)),
      m_hint(new QLabel)
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
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_hint->setWordWrap(true);
    m_hint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_hint->setAccessibleName(tr("Hint"));

    auto *copy = new QPushButton(tr("Copy"));
    copy->setToolTip(tr("Copy the table as text, to paste into a ticket"));
    connect(copy, &QPushButton::clicked, this, &SiteCheckWindow::copyToClipboard);
    auto *save = new QPushButton(tr("Save..."));
    save->setToolTip(tr("Save the whole report, with the protocol lines, as a JSON file"));
    connect(save, &QPushButton::clicked, this, &SiteCheckWindow::save);
    auto *again = new QPushButton(tr("Run again"));
    connect(again, &QPushButton::clicked, this, &SiteCheckWindow::runAgainRequested);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addWidget(again);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_table);
    layout->addWidget(m_hint);
    layout->addLayout(buttons);
    resize(900, 560);
}

void SiteCheckWindow::clear(const QString &label, const QString &target, const QDateTime &started)
{
    setReport(SiteCheckReport{target, label, started.toUTC(), {}, {}});
}

void SiteCheckWindow::addStep(const SiteCheckStep &step)
{
    m_report.steps << step;
    appendRow(step);
    m_summary->setText(m_report.target + QStringLiteral(": ") +
                       siteCheckVerdictLine(m_report.steps));
}

void SiteCheckWindow::setReport(const SiteCheckReport &report)
{
    m_report = report;
    setWindowTitle(tr("Site check - %1").arg(report.label));
    m_table->setRowCount(0);
    m_hint->clear();
    for (const SiteCheckStep &step : report.steps)
        appendRow(step);
    m_summary->setText(report.steps.isEmpty() ? report.target
                                              : report.target + QStringLiteral(": ") +
                                                    siteCheckVerdictLine(report.steps));
}

void SiteCheckWindow::setProtocolLines(const QStringList &lines)
{
    m_report.protocolLines = lines;
}

void SiteCheckWindow::setLibcurlVersion(const QString &version)
{
    m_libcurlVersion = version;
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
    if (!m_placed)
        placeBesideOwner();
    QWidget::showEvent(event);
}

void SiteCheckWindow::placeBesideOwner()
{
    const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible())
        return;
    m_placed = true;
    const QScreen *screen = owner->screen();
    // This window's frame is not known before it is first shown: it is taken
    // to be as wide as the owner's.
    const QSize frame = owner->frameGeometry().size() - owner->geometry().size();
    const QRect place =
        placeBeside(owner->frameGeometry(), size() + frame, screen->availableGeometry());
    move(place.topLeft());
    resize(place.size() - frame);
}
