#pragma once

#include "curl_transfer.h"

#include <QObject>

// Runs operations of one transfer component one after another, each to its
// end, on this thread's event loop: times each, by the clock and the CPU, watches a 10 ms timer on
// the loop for stalls, and answers the component's trust questions as an operator who trusts the
// server would, counting them.
class OperationRunner final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OperationRunner)
public:
    struct Result
    {
        bool ok = false;
        bool timedOut = false;
        double seconds = 0;
        // The longest time between two ticks of a 10 ms timer while the
        // operation ran: how long the loop could not serve a window.
        double longestGapMs = 0;
        // User and system CPU time of the whole process meanwhile: the
        // engine's thread as well as this one.
        double cpuSeconds = 0;
        qint32 code = 0;
        QString info; // the server's reply, or why the call was refused

        // The reply behind a failure, with its code unless the text has it.
        QString failure() const
        {
            const QString number = QString::number(code);
            return code == 0 || info.startsWith(number) ? info : number + QLatin1Char(' ') + info;
        }
    };

    explicit OperationRunner(CurlTransfer &transfer, QObject *parent = nullptr);

    Result run(const QString &operation, int timeLimitMs);

    int certificateQuestions() const { return m_certificateQuestions; }
    int clearTextQuestions() const { return m_clearTextQuestions; }

private:
    void answer(const TrustQuestion &question);

    CurlTransfer &m_transfer;
    int m_certificateQuestions = 0;
    int m_clearTextQuestions = 0;
};
