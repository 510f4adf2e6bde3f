#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTcpSocket>

// True once the server `process` started greets on `port` with a first line
// that starts with `prefix` and holds `token`: a token of this start, so
// that another server on the port does not count.
inline bool greetsOnPort(QProcess &process, int port, const QByteArray &prefix,
                         const QByteArray &token)
{
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (probe.waitForConnected(500)) {
            QByteArray greeting;
            while (!greeting.contains('\n') && probe.waitForReadyRead(2000))
                greeting += probe.readAll();
            return greeting.startsWith(prefix) && greeting.contains(token);
        }
        process.waitForFinished(20); // also notices an early exit
    }
    return false;
}
