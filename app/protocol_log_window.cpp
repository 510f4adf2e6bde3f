#include "protocol_log_window.h"

#include "text/protocol_line.h"
#include "transfer_component.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

// Laying out an appended paragraph costs tens of microseconds however short
// it is, and about as much for a hundred lines as for one: lines wait this
// long and go into the view together.
constexpr int BatchInterval = 100; // ms

} // namespace

ProtocolLogWindow::ProtocolLogWindow(QWidget *parent, int lineLimit)
    : QWidget(parent, Qt::Window), m_lines(new QPlainTextEdit),
      m_droppedNote(new QLabel(QLatin1String(OlderLinesDroppedNote))), m_lineLimit(lineLimit)
{
    setObjectName(QStringLiteral("ProtocolLog"));
    setWindowTitle(tr("Protocol log"));

    m_lines->setReadOnly(true);
    m_lines->setAccessibleName(tr("Protocol log"));
    m_lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Appends would otherwise pile up in the undo stack, unbounded.
    m_lines->setUndoRedoEnabled(false);
    // The document drops its oldest block once it holds more than this.
    m_lines->setMaximumBlockCount(m_lineLimit);
    m_droppedNote->hide();
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setInterval(BatchInterval);
    connect(&m_batchTimer, &QTimer::timeout, this, &ProtocolLogWindow::showPendingLines);

    auto *copy = new QPushButton(tr("Copy"));
    copy->setToolTip(tr("Copy every line of the log to the clipboard"));
    connect(copy, &QPushButton::clicked, this, &ProtocolLogWindow::copyToClipboard);

    auto *details = new QCheckBox(tr("libcurl details"));
    details->setObjectName(QStringLiteral("LibcurlDetails"));
    details->setToolTip(tr("Also show what libcurl says of its own work"));
    connect(details, &QCheckBox::toggled, this, &ProtocolLogWindow::setDetailsShown);

    auto *closeButton = new QPushButton(tr("Close"));
    closeButton->setObjectName(QStringLiteral("CloseLog"));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    // Escape closes the log wherever the focus is in it.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(details);
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_droppedNote);
    layout->addWidget(m_lines);
    layout->addLayout(buttons);
    resize(720, 420);
}

void ProtocolLogWindow::addEvent(const ProtocolEvent &event)
{
    const bool detail = event.kind == ProtocolEvent::Kind::Detail;
    const QString line = protocolLine(event);
    m_kept.push_back({detail, line});
    if (qsizetype(m_kept.size()) > m_lineLimit)
        m_kept.pop_front();
    if (detail && !m_detailsShown)
        return;
    m_pending << line;
    ++m_lineCount;
    // However fast lines come, no more than the limit waits.
    if (m_pending.size() >= m_lineLimit)
        showPendingLines();
    else if (!m_batchTimer.isActive())
        m_batchTimer.start();
}

void ProtocolLogWindow::showPendingLines()
{
    m_batchTimer.stop();
    if (m_pending.isEmpty())
        return;
    // New blocks at the end, the oldest dropped past the limit. The view
    // follows them only when it showed the end already, so an operator
    // reading further up keeps the place.
    m_lines->appendPlainText(m_pending.join(QLatin1Char('\n')));
    m_pending.clear();
    m_droppedNote->setVisible(m_lineCount > m_lineLimit);
}

QString ProtocolLogWindow::text()
{
    showPendingLines();
    QString text = m_lines->toPlainText();
    if (m_lineCount > m_lineLimit)
        text.prepend(m_droppedNote->text() + QLatin1Char('\n'));
    return text;
}

void ProtocolLogWindow::copyToClipboard()
{
    QGuiApplication::clipboard()->setText(text());
}

void ProtocolLogWindow::setDetailsShown(bool shown)
{
    if (shown == m_detailsShown)
        return;
    m_detailsShown = shown;
    showAgain();
}

// The view anew from the lines kept, with or without the details.
void ProtocolLogWindow::showAgain()
{
    m_batchTimer.stop();
    m_pending.clear();
    m_lines->clear();
    QStringList lines;
    for (const Kept &kept : m_kept)
        if (m_detailsShown || !kept.detail)
            lines << kept.line;
    m_lineCount = lines.size();
    if (!lines.isEmpty())
        m_lines->appendPlainText(lines.join(QLatin1Char('\n')));
    m_droppedNote->setVisible(false);
    showNewest();
}

// The newest line at the bottom, from its start: the times and marks in
// view, however long the lines. Moving the cursor there also keeps the view
// from following it to the end of a long line when it is shown.
void ProtocolLogWindow::showNewest()
{
    m_lines->moveCursor(QTextCursor::End);
    m_lines->moveCursor(QTextCursor::StartOfBlock);
    m_lines->horizontalScrollBar()->setValue(m_lines->horizontalScrollBar()->minimum());
    QScrollBar *bar = m_lines->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void ProtocolLogWindow::showEvent(QShowEvent *event)
{
    // Lines that came while the window was closed are not followed by the
    // view; opening the window shows the newest.
    showPendingLines();
    showNewest();
    // Once more when the view has its size and scroll bars: a horizontal bar
    // that appears for long lines takes its height from the view.
    QTimer::singleShot(0, this, &ProtocolLogWindow::showNewest);
    QWidget::showEvent(event);
}
