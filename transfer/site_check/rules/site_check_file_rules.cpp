#include "site_check/rules/site_check_file_rules.h"

#include "site_check/rules/site_check_rules.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr qsizetype PayloadSize = 256 * 1024;
constexpr qint64 ClockTolerance = 120; // s

// "1 h 0 min 3 s", "5 min 12 s", "40 s".
QString duration(qint64 seconds)
{
    QStringList parts;
    if (seconds >= 3600)
        parts << QStringLiteral("%1 h").arg(seconds / 3600);
    if (seconds >= 60)
        parts << QStringLiteral("%1 min").arg(seconds % 3600 / 60);
    parts << QStringLiteral("%1 s").arg(seconds % 60);
    return parts.join(QLatin1Char(' '));
}

} // namespace

QString siteCheckFileName(const QDateTime &nowUtc, QRandomGenerator &random)
{
    return QStringLiteral("sarvel-check-%1-%2.tmp")
        .arg(nowUtc.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")))
        .arg(random.generate(), 8, 16, QLatin1Char('0'));
}

QByteArray siteCheckPayload(QRandomGenerator &random)
{
    QByteArray data(PayloadSize, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(data.data()), PayloadSize / 4);
    // CR LF, a lone LF, a lone CR, NUL and 0x1A: an ASCII-mode conversion or
    // a text filter on the way changes at least one of them.
    static const char marks[] = {'\r', '\n', 'x', '\n', 'x', '\r', 'x', '\0', 'x', '\x1a'};
    std::copy(std::begin(marks), std::end(marks), data.begin() + 100);
    return data;
}

bool isWriteRefusal(int code)
{
    return code == 550 || code == 553 || code == 532;
}

QString writeRefusedText(const QString &folder)
{
    return QStringLiteral("the account cannot write in %1").arg(folder);
}

SiteCheckOutcome writeOutcome(int code, const QString &text, const QString &folder, qint64 bytes)
{
    const bool written = code >= 200 && code < 300;
    return uploadOutcome(written ? QString()
                                 : QStringLiteral("%1 %2").arg(code).arg(text).trimmed(),
                         isWriteRefusal(code), folder, bytes);
}

SiteCheckOutcome uploadOutcome(const QString &said, bool refused, const QString &folder,
                               qint64 bytes)
{
    if (said.isEmpty())
        return SiteCheckOutcome::pass(
            QStringLiteral("%1 bytes written in %2").arg(bytes).arg(folder));
    if (refused)
        return SiteCheckOutcome::warning(
            QStringLiteral("%1 (%2)").arg(writeRefusedText(folder), said),
            QStringLiteral("The account may read here but not write: check its rights."));
    return SiteCheckOutcome::fail(
        QStringLiteral("the upload failed: %1").arg(said),
        QStringLiteral("The server took the login but not the file: its disk may be full or "
                       "the account over its quota."));
}

SiteCheckOutcome confirmationOutcome(qint64 confirmMs)
{
    if (confirmMs < 0)
        return SiteCheckOutcome::skipped({});
    const QString after = confirmMs < 1000
                              ? QStringLiteral("%1 ms").arg(confirmMs)
                              : QStringLiteral("%1 s").arg(double(confirmMs) / 1000.0, 0, 'f', 1);
    const QString detail = QStringLiteral("confirmed %1 after the last byte").arg(after);
    if (confirmMs <= SlowConfirmationMs)
        return SiteCheckOutcome::pass(detail);
    return SiteCheckOutcome::warning(
        detail, QStringLiteral("The server is slow to confirm an upload: clients that wait less "
                               "for its reply report a failure although the file arrived."));
}

SiteCheckOutcome sizeOutcome(qint64 sent, qint64 reported)
{
    if (reported < 0)
        return SiteCheckOutcome::skipped(QStringLiteral("SIZE gives no size"));
    if (reported == sent)
        return SiteCheckOutcome::pass(QStringLiteral("SIZE %1 as sent").arg(reported));
    return SiteCheckOutcome::fail(
        QStringLiteral("SIZE says %1 bytes, %2 were sent").arg(reported).arg(sent),
        QStringLiteral("The server did not keep the file as sent: a full disk, a quota, or a "
                       "conversion of line ends."));
}

QDateTime mdtmTime(const QString &reply)
{
    static const QRegularExpression pattern(
        QStringLiteral("^213 (\\d{14})(?:\\.(\\d{1,3}))?\\s*$"));
    const QRegularExpressionMatch match = pattern.match(reply);
    if (!match.hasMatch())
        return {};
    QDateTime time = QDateTime::fromString(match.captured(1), QStringLiteral("yyyyMMddHHmmss"));
    if (!time.isValid())
        return {};
    time.setTimeSpec(Qt::UTC);
    const QString fraction = match.captured(2);
    return fraction.isEmpty() ? time
                              : time.addMSecs(fraction.leftJustified(3, QLatin1Char('0')).toInt());
}

SiteCheckOutcome clockOutcome(const QString &mdtmReply, const QDateTime &uploadEndedUtc)
{
    const QDateTime serverTime = mdtmTime(mdtmReply);
    if (!serverTime.isValid())
        return mdtmReply.startsWith(QLatin1String("213"))
                   ? SiteCheckOutcome::warning(
                         QStringLiteral("MDTM answers \"%1\"").arg(mdtmReply),
                         QStringLiteral("The server's MDTM reply is not a time in "
                                        "the form YYYYMMDDHHMMSS."))
                   : SiteCheckOutcome::skipped(QStringLiteral("MDTM gives no time"));
    const qint64 offset = uploadEndedUtc.secsTo(serverTime);
    const qint64 distance = std::abs(offset);
    if (distance <= ClockTolerance)
        return SiteCheckOutcome::pass(
            QStringLiteral("MDTM within %1 s of this computer's clock").arg(distance));
    const QString detail = QStringLiteral("MDTM %1 %2 this computer's clock")
                               .arg(duration(distance), offset > 0 ? QStringLiteral("ahead of")
                                                                   : QStringLiteral("behind"));
    const qint64 hours = (distance + 1800) / 3600;
    if (std::abs(distance - hours * 3600) <= ClockTolerance)
        return SiteCheckOutcome::warning(
            detail, QStringLiteral("A whole number of hours: the server gives its local time "
                                   "where MDTM wants UTC."));
    return SiteCheckOutcome::warning(
        detail, QStringLiteral("The server's clock or this computer's is wrong: both should keep "
                               "time by NTP."));
}

SiteCheckOutcome hashOutcome(const HashCommand &hash, const QString &local, const QString &remote)
{
    if (hash.command.isEmpty())
        return SiteCheckOutcome::skipped(QStringLiteral("no hash command offered"));
    if (remote.isEmpty())
        return SiteCheckOutcome::warning(
            QStringLiteral("%1 gave no %2 of the whole file").arg(hash.command, hash.algorithm),
            QStringLiteral("The server lists %1 but does not answer it as it should.")
                .arg(hash.command));
    if (remote.compare(local, Qt::CaseInsensitive) == 0)
        return SiteCheckOutcome::pass(
            QStringLiteral("%1 by %2 as sent").arg(hash.algorithm, hash.command));
    return SiteCheckOutcome::fail(
        QStringLiteral("the server's %1 differs from what was sent").arg(hash.algorithm),
        QStringLiteral("The file changed on the way or on the server: a conversion of line "
                       "ends, a full disk, or a faulty proxy."));
}

SiteCheckOutcome readBackOutcome(const QByteArray &sent, const QByteArray &received,
                                 qint64 firstByteMs, qint64 elapsedMs)
{
    if (received == sent) {
        QString detail = QStringLiteral("%1 bytes as sent; first byte after %2 ms")
                             .arg(received.size())
                             .arg(firstByteMs);
        if (elapsedMs > 0)
            detail += QStringLiteral(", %1 MiB/s")
                          .arg(double(received.size()) * 1000.0 / double(elapsedMs) / 1048576.0, 0,
                               'f', 1);
        return SiteCheckOutcome::pass(detail);
    }
    // Line ends converted one way, the other, or both.
    const QByteArray withoutCr = QByteArray(sent).replace("\r\n", "\n");
    const QByteArray withCr = QByteArray(withoutCr).replace("\n", "\r\n");
    const QByteArray crAdded = QByteArray(sent).replace("\n", "\r\n");
    if (received == withoutCr || received == withCr || received == crAdded)
        return SiteCheckOutcome::fail(
            QStringLiteral("%1 bytes came back for %2 sent, line ends converted")
                .arg(received.size())
                .arg(sent.size()),
            QStringLiteral("The transfer ran in ASCII mode instead of binary (TYPE I)."));
    if (received.size() < sent.size() && sent.startsWith(received))
        return {
            SiteCheckResult::Fail,
            QStringLiteral("only %1 of %2 bytes came back").arg(received.size()).arg(sent.size()),
            QStringLiteral("The download ended early: the data connection was cut.")};
    const auto differ = std::mismatch(sent.begin(), sent.end(), received.begin(), received.end());
    return SiteCheckOutcome::fail(
        QStringLiteral("the bytes differ from offset %1 on").arg(differ.first - sent.begin()),
        QStringLiteral("The data changed on the way or on the server."));
}

SiteCheckOutcome cleanUpOutcome(int code, const QString &text, const QString &path, bool stillThere)
{
    const QString byHand = QStringLiteral("Delete %1 by hand.").arg(path);
    if (code < 200 || code >= 300)
        return SiteCheckOutcome::warning(
            QStringLiteral("DELE refused (%1 %2): %3 is left behind").arg(code).arg(text, path),
            byHand + QStringLiteral(" The account may write but not delete."));
    if (stillThere)
        return SiteCheckOutcome::warning(
            QStringLiteral("DELE answered %1 but %2 is still there").arg(code).arg(path), byHand);
    return SiteCheckOutcome::pass(QStringLiteral("%1 deleted").arg(path));
}
