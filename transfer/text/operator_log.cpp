#include "text/operator_log.h"

#include <QLocale>

QString groupedNumber(qint64 number)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(number);
}

namespace {

// Microseconds as milliseconds, one decimal below 100 ms; from a second on
// as seconds with one decimal.
QString duration(qint64 micros)
{
    if (micros >= 1000000)
        return QString::number(double(micros) / 1e6, 'f', 1) + QStringLiteral(" s");
    if (micros >= 100000)
        return QString::number((micros + 500) / 1000) + QStringLiteral(" ms");
    return QString::number(double(micros) / 1000.0, 'f', 1) + QStringLiteral(" ms");
}

QString quoted(const QString &name)
{
    return name.contains(QLatin1Char(' ')) ? QLatin1Char('"') + name + QLatin1Char('"') : name;
}

} // namespace

QByteArrayView withoutLineEnd(QByteArrayView data)
{
    while (data.endsWith('\n') || data.endsWith('\r'))
        data.chop(1);
    return data;
}

std::optional<OperatorLine> operatorLine(curl_infotype type, QByteArrayView data)
{
    const QByteArrayView line = withoutLineEnd(data);
    switch (type) {
    case CURLINFO_HEADER_OUT: {
        // libcurl shows the login line as it went out, password in clear.
        static constexpr QByteArrayView pass = "PASS ";
        if (line.size() >= pass.size() &&
            line.first(pass.size()).compare(pass, Qt::CaseInsensitive) == 0)
            return OperatorLine{ProtocolEvent::Kind::Sent, QStringLiteral("PASS ****")};
        return OperatorLine{ProtocolEvent::Kind::Sent, QString::fromUtf8(line)};
    }
    case CURLINFO_HEADER_IN:
        return OperatorLine{ProtocolEvent::Kind::Received, QString::fromUtf8(line)};
    case CURLINFO_TEXT:
        if (line.isEmpty())
            return std::nullopt;
        return OperatorLine{ProtocolEvent::Kind::Detail, QString::fromUtf8(line)};
    default:
        return std::nullopt;
    }
}

QString startLine(const TransferCommand &command)
{
    const QString verb = transferVerbName(command.verb);
    const QStringList &args = command.args;
    if ((command.verb == TransferVerb::Get || command.verb == TransferVerb::Put) &&
        args.size() == 2)
        return QStringLiteral("%1 %2 to %3").arg(verb, quoted(args[0]), quoted(args[1]));
    QStringList words{verb};
    for (const QString &arg : args)
        words << quoted(arg);
    return words.join(QLatin1Char(' '));
}

QString outcomeLine(const TransferCommand &command, bool ok, const QString &reply,
                    const PhaseTimes &times)
{
    const QString verb = transferVerbName(command.verb);
    // A refusal that names the command says it all ("CD x: no such folder ...").
    if (!ok && reply.startsWith(verb + QLatin1Char(' ')))
        return reply;
    if (!ok)
        return QStringLiteral("%1 failed: %2").arg(verb, reply);
    if (times.bytes < 0)
        return QStringLiteral("%1 done").arg(verb);
    return QStringLiteral("%1 done: %2 bytes in %3 s")
        .arg(verb, groupedNumber(times.bytes), QString::number(double(times.total) / 1e6, 'f', 2));
}

QString timingLine(const PhaseTimes &times)
{
    const std::pair<const char *, qint64> phases[] = {
        {"resolve", times.resolve},
        {"connect", times.connect},
        {"greeting", times.greeting},
        {"key exchange", times.keyExchange},
        {"TLS", times.tls},
        {"login", times.login},
        {"first byte", times.firstByte},
        {"transfer", times.transfer},
        {"confirm", times.confirm},
        {"total", times.total},
    };
    QStringList parts;
    for (const auto &[name, micros] : phases)
        if (micros >= 0)
            parts << QLatin1String(name) + QLatin1Char(' ') + duration(micros);
    QString line = QStringLiteral("Timing: ") + parts.join(QStringLiteral(", "));
    if (times.bytes >= 0) {
        line += QStringLiteral("; %1 bytes").arg(groupedNumber(times.bytes));
        if (times.transfer > 0) {
            const double perSecond = double(times.bytes) / (double(times.transfer) / 1e6);
            line +=
                perSecond >= 1024.0 * 1024.0
                    ? QStringLiteral(" at %1 MiB/s").arg(perSecond / (1024.0 * 1024.0), 0, 'f', 1)
                    : QStringLiteral(" at %1 KiB/s").arg(perSecond / 1024.0, 0, 'f', 1);
        }
    }
    return line;
}

QString addressText(const QString &address, int port)
{
    const QString host = address.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + address + QLatin1Char(']')
                             : address;
    return host + QLatin1Char(':') + QString::number(port);
}

QString connectingLine(const QString &address)
{
    return QStringLiteral("Connecting to %1").arg(address);
}

QString tlsLine(const QString &protection, const QString &cipher, bool implicitTls)
{
    if (implicitTls)
        return QStringLiteral("%1 established, implicit TLS (%2)").arg(protection, cipher);
    return QStringLiteral("%1 established (%2)").arg(protection, cipher);
}

QString implicitTlsProtection(const QString &protection)
{
    return QStringLiteral("%1, implicit TLS").arg(protection);
}

QString certificateLine(const QString &subject, const QString &issuer, const QString &fingerprint)
{
    return QStringLiteral("Certificate: %1; issued by %2; SHA-256 %3")
        .arg(subject, issuer, fingerprint);
}

QString dataConnectionLine(const QString &address, DataProtection protection)
{
    switch (protection) {
    case DataProtection::Clear:
        return QStringLiteral("Data connection to %1").arg(address);
    case DataProtection::Resumed:
        return QStringLiteral("Data connection to %1, TLS session resumed").arg(address);
    case DataProtection::NotResumed:
        return QStringLiteral("Data connection to %1, TLS session not resumed").arg(address);
    }
    return {};
}

QString sshServerLine(const QString &version)
{
    return QStringLiteral("Server: %1").arg(version);
}

QString sshSessionLine(const SshSessionFacts &session)
{
    return QStringLiteral("SSH established (%1, MAC %2, key exchange %3, host key %4)")
        .arg(session.cipher, session.mac, session.keyExchange, session.hostKey);
}

QString sshHostKeyLine(const QString &keyType, const QString &fingerprint, HostKeyStanding standing)
{
    static const char *const standings[] = {
        "is in ~/.ssh/known_hosts",
        "is trusted by you for this session",
        "is not known yet",
    };
    return QStringLiteral("SSH key exchange done; host key %1 %2 %3")
        .arg(keyType, fingerprint, QLatin1String(standings[int(standing)]))
        .simplified();
}

QString sshMethodsLine(const QString &methods)
{
    return QStringLiteral("The server offers login by: %1").arg(methods);
}

QString sshLoginLine(const QString &user, const QString &method)
{
    return QStringLiteral("Logged in as %1 by %2").arg(user, method);
}

QString sftpActionLine(const QString &action, const QString &result)
{
    return QStringLiteral("%1: %2").arg(action, result);
}

QString trustQuestionLine(const TrustQuestion &question)
{
    const QString server = question.host + QLatin1Char(':') + QString::number(question.port);
    if (question.kind == TrustQuestion::Kind::ClearText)
        return QStringLiteral("%1 does not offer encryption: asking the operator whether to send "
                              "the account in clear text")
            .arg(server);
    if (question.kind == TrustQuestion::Kind::HostKey)
        return QStringLiteral("The host key of %1 is not known (%2 %3): asking the operator")
            .arg(server, question.keyType, question.fingerprint);
    return QStringLiteral("The certificate of %1 is not trusted (%2): asking the operator")
        .arg(server, question.reason);
}

QString trustAnswerLine(const TrustQuestion &question, bool trusted)
{
    if (question.kind == TrustQuestion::Kind::ClearText)
        return trusted ? QStringLiteral("The operator agreed to clear text")
                       : QStringLiteral("The operator declined clear text");
    const QString what = question.kind == TrustQuestion::Kind::HostKey
                             ? QStringLiteral("host key")
                             : QStringLiteral("certificate");
    return trusted ? QStringLiteral("The %1 is trusted by you for this session").arg(what)
                   : QStringLiteral("The operator did not trust the %1").arg(what);
}
