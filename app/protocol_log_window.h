#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <deque>

struct ProtocolEvent;
class QLabel;
class QPlainTextEdit;

// Shown above the lines once the oldest have been dropped to keep the limit.
inline constexpr char OlderLinesDroppedNote[] = "(older lines dropped)";

// The protocol log: a window of its own that the operator keeps open while
// working, with the conversation with the server line by line, newest last.
// It holds the newest lines only, in memory: nothing of it goes to disk.
// libcurl's own remarks show only while "libcurl details" is checked. Long
// lines do not wrap: the view stays at the left edge, where the times and
// marks are, and following new lines scrolls it down only. Escape or Close
// closes it.
class ProtocolLogWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProtocolLogWindow)
public:
    // Enough for a long session; the view holds that many in some 25-35 MiB.
    static constexpr int DefaultLineLimit = 50000;

    explicit ProtocolLogWindow(QWidget *parent = nullptr, int lineLimit = DefaultLineLimit);

    void addEvent(const ProtocolEvent &event);
    // Puts the lines added since the last batch into the view now.
    void showPendingLines();
    // Every line kept, after the note on dropped lines when there is one.
    QString text();
    void copyToClipboard();
    void setDetailsShown(bool shown);

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Kept
    {
        bool detail;
        QString line;
    };
    void showAgain();
    void showNewest();

    QPlainTextEdit *m_lines;
    QLabel *m_droppedNote;
    const int m_lineLimit;
    QStringList m_pending; // added, not yet in the view
    QTimer m_batchTimer;
    qint64 m_lineCount = 0;  // ever added
    std::deque<Kept> m_kept; // the newest lines, details included, for the check box
    bool m_detailsShown = false;
};
