#include "soak/soak_window.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>

namespace {

QTableWidget *table(const QStringList &headings, const QString &name)
{
    auto *t = new QTableWidget(0, int(headings.size()));
    t->setHorizontalHeaderLabels(headings);
    t->setAccessibleName(name);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget *t, int row, const QStringList &cells)
{
    for (int c = 0; c < cells.size(); ++c)
        t->setItem(row, c, new QTableWidgetItem(cells.at(c)));
}

QString secondsText(double value)
{
    return value < 0 ? QStringLiteral("-") : QString::number(value, 'f', 3);
}

} // namespace

SoakWindow::SoakWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), m_summary(new QLabel), m_progress(new QLabel),
      m_phases(
          table({tr("Phase"), tr("Rounds"), tr("p50 s"), tr("p95 s"), tr("max s")}, tr("Phases"))),
      m_failed(table({tr("Round"), tr("Phase"), tr("Size sent"), tr("Bytes kept"), tr("Reason")},
                     tr("Failed rounds"))),
      m_chart(new QChart)
{
    setWindowTitle(tr("Soak"));
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setAccessibleName(tr("Summary"));
    m_progress->setAccessibleName(tr("Progress"));
    // Every phase in view without scrolling.
    m_phases->setFixedHeight(m_phases->horizontalHeader()->sizeHint().height() +
                             SoakPhaseCount * m_phases->verticalHeader()->defaultSectionSize() +
                             2 * m_phases->frameWidth());
    m_phases->setFocusPolicy(Qt::NoFocus);
    m_chart->setTitle(tr("Phase times of each round, ms (failed rounds marked)"));
    auto *chartView = new QChartView(m_chart);
    chartView->setMinimumHeight(220);

    auto *buttons = new QHBoxLayout;
    m_stop = makeButton(tr("Stop"), tr("Stop after this round's clean-up, as ABORT does (Esc)"));
    connect(m_stop, &QPushButton::clicked, this, &SoakWindow::stopRequested);
    buttons->addWidget(m_stop);
    buttons->addStretch();
    QPushButton *copy = makeButton(tr("Copy"), tr("Copy the summary as text"));
    connect(copy, &QPushButton::clicked, this, &SoakWindow::copyToClipboard);
    QPushButton *save = makeButton(tr("Save..."), tr("Save every round as a JSON file"));
    connect(save, &QPushButton::clicked, this, &SoakWindow::save);
    QPushButton *close = makeButton(tr("Close"), tr("Close this window (Esc)"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    m_afterEnd = {copy, save};
    for (QPushButton *button : {copy, save, close})
        buttons->addWidget(button);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &SoakWindow::escape);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_progress);
    layout->addWidget(m_phases);
    layout->addWidget(m_failed);
    layout->addWidget(chartView, 1);
    layout->addLayout(buttons);
    resize(760, 720);
}

QPushButton *SoakWindow::makeButton(const QString &text, const QString &toolTip)
{
    auto *button = new QPushButton(text);
    button->setToolTip(toolTip);
    button->setAutoDefault(false);
    return button;
}

void SoakWindow::clear(const QString &label, const QString &target, int rounds,
                       const QDateTime &started)
{
    m_soak = SoakDocument{target, started, 0, {}};
    m_running = true;
    setWindowTitle(tr("Soak - %1").arg(label));
    m_progress->setText(tr("round 1 of %1").arg(rounds));
    m_stop->setEnabled(true);
    for (QPushButton *button : std::as_const(m_afterEnd))
        button->setEnabled(false);
    showSummary();
    drawChart();
}

void SoakWindow::addRound(const SoakRound &round)
{
    m_soak.rounds << round;
    if (m_running && round.number < round.rounds)
        m_progress->setText(tr("round %1 of %2").arg(round.number + 1).arg(round.rounds));
    showSummary();
    drawChart();
}

void SoakWindow::finish(qint64 durationMs)
{
    m_running = false;
    m_soak.durationMs = durationMs;
    m_progress->setText(tr("ended after %1 rounds").arg(m_soak.rounds.size()));
    m_stop->setEnabled(false);
    for (QPushButton *button : std::as_const(m_afterEnd))
        button->setEnabled(true);
}

void SoakWindow::showNotice(const QString &text)
{
    m_progress->setText(text);
}

QString SoakWindow::summary() const
{
    return m_summary->text();
}

QString SoakWindow::progress() const
{
    return m_progress->text();
}

void SoakWindow::showSummary()
{
    const SoakSummary s = summarizeSoak(m_soak.rounds);
    m_summary->setText(
        m_soak.rounds.isEmpty()
            ? m_soak.target
            : QStringLiteral("%1: %2, seed %3").arg(m_soak.target, soakSummaryLine(s)).arg(s.seed));
    m_phases->setRowCount(int(s.phases.size()));
    for (int row = 0; row < s.phases.size(); ++row) {
        const CheckSpread &phase = s.phases.at(row);
        setRow(m_phases, row,
               {soakPhaseName(SoakPhase(row)), QString::number(phase.count), secondsText(phase.p50),
                secondsText(phase.p95), secondsText(phase.max)});
    }
    m_failed->setRowCount(0);
    for (const SoakRound &round : std::as_const(m_soak.rounds)) {
        if (round.passed())
            continue;
        const int row = m_failed->rowCount();
        m_failed->insertRow(row);
        setRow(m_failed, row,
               {QString::number(round.number), soakPhaseName(*round.failedIn),
                QString::number(round.size),
                round.kept < 0 ? QStringLiteral("-") : QString::number(round.kept), round.reason});
    }
}

void SoakWindow::drawChart()
{
    m_chart->removeAllSeries();
    // The chart hands a removed axis back to its caller.
    for (QAbstractAxis *axis : m_chart->axes()) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    auto *series = new QStackedBarSeries;
    QStringList rounds;
    QList<int> failed;
    for (const SoakRound &round : std::as_const(m_soak.rounds)) {
        rounds << (round.passed() ? QString::number(round.number)
                                  : QStringLiteral("\u2717%1").arg(round.number));
        if (!round.passed())
            failed << int(rounds.size()) - 1;
    }
    for (int p = 0; p < SoakPhaseCount; ++p) {
        auto *set = new QBarSet(soakPhaseName(SoakPhase(p)));
        for (const SoakRound &round : std::as_const(m_soak.rounds))
            *set << double(qMax<qint64>(0, round.micros[size_t(p)])) / 1000.0;
        // A failed round's whole bar in red.
        set->setSelectedColor(QColor(200, 30, 30));
        set->selectBars(failed);
        series->append(set);
    }
    m_chart->addSeries(series);
    auto *x = new QBarCategoryAxis;
    x->append(rounds);
    auto *y = new QValueAxis;
    y->setTitleText(tr("ms"));
    m_chart->addAxis(x, Qt::AlignBottom);
    m_chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
}

void SoakWindow::escape()
{
    if (m_running)
        Q_EMIT stopRequested();
    else
        close();
}

void SoakWindow::copyToClipboard()
{
    QGuiApplication::clipboard()->setText(QString::fromUtf8(
        soakOutput(CheckFormat::Text, m_soak, CheckOutputContext{m_libcurlVersion, {}, {}})));
}

void SoakWindow::save()
{
    const QString stamp = m_soak.started.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save soak"), QStringLiteral("soak-%1.json").arg(stamp), tr("JSON (*.json)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveTo(path, &error))
        showNotice(tr("Not saved: %1").arg(error));
}

bool SoakWindow::saveTo(const QString &path, QString *error) const
{
    QSaveFile file(path);
    const QByteArray json =
        soakOutput(CheckFormat::Json, m_soak, CheckOutputContext{m_libcurlVersion, {}, {}});
    const bool saved =
        file.open(QIODevice::WriteOnly) && file.write(json) == json.size() && file.commit();
    if (!saved && error)
        *error = file.errorString();
    return saved;
}
