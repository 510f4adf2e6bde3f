#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QProcess>
#include <QSslSocket>

// True once the server `process` started greets on `port` with a first line
// that starts with `prefix` and holds `token`: a token of this start, so
// that another server on the port does not count. With `implicitTls` the
// greeting comes over TLS, whatever the certificate.
inline bool greetsOnPort(QProcess &process, int port, const QByteArray &prefix,
                         const QByteArray &token, bool implicitTls = false)
{
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        QSslSocket probe;
        probe.setPeerVerifyMode(QSslSocket::VerifyNone);
        if (implicitTls)
            probe.connectToHostEncrypted(QStringLiteral("127.0.0.1"), quint16(port));
        else
            probe.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (implicitTls ? probe.waitForEncrypted(500) : probe.waitForConnected(500)) {
            QByteArray greeting;
            while (!greeting.contains('\n') && probe.waitForReadyRead(2000))
                greeting += probe.readAll();
            return greeting.startsWith(prefix) && greeting.contains(token);
        }
        process.waitForFinished(20); // also notices an early exit
    }
    return false;
}
