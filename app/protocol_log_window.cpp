#include "protocol_log_window.h"

#include "transfer_component.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

QString protocolLogLine(const ProtocolEvent &event)
{
    QString text = event.text;
    const QLatin1String passwordCommand("PASS ");
    if (event.kind == ProtocolEvent::Kind::Sent &&
        text.startsWith(passwordCommand, Qt::CaseInsensitive))
        text = QStringLiteral("PASS ****");
    const char *mark = "* ";
    if (event.kind == ProtocolEvent::Kind::Sent)
        mark = "> ";
    else if (event.kind == ProtocolEvent::Kind::Received)
        mark = "< ";
    return event.time.toString(QStringLiteral("HH:mm:ss.zzz ")) + QLatin1String(mark) + text;
}

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

    auto *copy = new QPushButton(tr("Copy"));
    copy->setToolTip(tr("Copy every line of the log to the clipboard"));
    connect(copy, &QPushButton::clicked, this, &ProtocolLogWindow::copyToClipboard);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copy);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_droppedNote);
    layout->addWidget(m_lines);
    layout->addLayout(buttons);
    resize(720, 420);
}

void ProtocolLogWindow::addEvent(const ProtocolEvent &event)
{
    // A new block at the end; the view follows it only when it showed the
    // end already, so an operator reading further up keeps the place.
    m_lines->appendPlainText(protocolLogLine(event));
    if (++m_lineCount == m_lineLimit + 1)
        m_droppedNote->show();
}

QString ProtocolLogWindow::text() const
{
    QString text = m_lines->toPlainText();
    if (m_lineCount > m_lineLimit)
        text.prepend(m_droppedNote->text() + QLatin1Char('\n'));
    return text;
}

void ProtocolLogWindow::copyToClipboard() const
{
    QGuiApplication::clipboard()->setText(text());
}

void ProtocolLogWindow::showEvent(QShowEvent *event)
{
    // Lines that came while the window was closed are not followed by the
    // view; opening the window shows the newest.
    QScrollBar *bar = m_lines->verticalScrollBar();
    bar->setValue(bar->maximum());
    QWidget::showEvent(event);
}
