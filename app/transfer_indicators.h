#pragma once

#include <QElapsedTimer>
#include <QObject>

class QLabel;
class QProgressBar;
class QStatusBar;

// The status bar's permanent indicators of the transfer component: how far
// the running transfer is and how fast it goes, and what protects the current
// login. Temporary messages in the bar leave them in place.
class TransferIndicators final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransferIndicators)
public:
    explicit TransferIndicators(QStatusBar *bar);

    // Bytes moved so far and the total, -1 when unknown.
    void showProgress(qint64 done, qint64 total);
    void clearProgress();
    // "TLS 1.3" and the like, "not encrypted", or empty with no login.
    void showProtection(const QString &protection);

private:
    QLabel *m_progressText;
    QProgressBar *m_progressBar;
    QLabel *m_protection;
    QElapsedTimer m_transferClock; // since the running transfer first reported progress
};
