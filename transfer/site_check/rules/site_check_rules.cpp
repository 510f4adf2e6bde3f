#include "site_check/rules/site_check_rules.h"

#include <QHostAddress>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>

namespace {

constexpr auto pass = &SiteCheckOutcome::pass;
constexpr auto warning = &SiteCheckOutcome::warning;
constexpr auto fail = &SiteCheckOutcome::fail;

QString reply(int code, const QString &text)
{
    return QStringLiteral("%1 %2").arg(code).arg(text).trimmed();
}

// An IPv4 address written as IPv6 ("::ffff:192.0.2.1") compares as IPv4.
QHostAddress plainAddress(const QString &text)
{
    QHostAddress address(text);
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

bool isPrivate(const QHostAddress &address)
{
    static const QList<QPair<QHostAddress, int>> ranges = {
        QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8")),
        QHostAddress::parseSubnet(QStringLiteral("172.16.0.0/12")),
        QHostAddress::parseSubnet(QStringLiteral("192.168.0.0/16")),
        QHostAddress::parseSubnet(QStringLiteral("100.64.0.0/10")), // carrier-grade NAT
        QHostAddress::parseSubnet(QStringLiteral("fc00::/7")),
    };
    return std::any_of(ranges.begin(), ranges.end(),
                       [&address](const auto &range) { return address.isInSubnet(range); });
}

constexpr const char *InterestingFeatures[] = {"UTF8", "MLSD", "EPSV",
                                               "SIZE", "MDTM", "REST STREAM"};
constexpr const char *HashFeatures[] = {"HASH", "XSHA256", "XSHA1", "XMD5", "XCRC"};

} // namespace

SiteCheckOutcome nameResolutionOutcome(const QString &host, const QStringList &addresses)
{
    if (addresses.isEmpty())
        return fail(QStringLiteral("%1 does not resolve to any address").arg(host),
                    QStringLiteral("Check the spelling of the name and this computer's DNS."));
    const auto v6 = std::count_if(addresses.begin(), addresses.end(), [](const QString &a) {
        return plainAddress(a).protocol() == QAbstractSocket::IPv6Protocol;
    });
    return pass(QStringLiteral("%1 (%2 IPv4, %3 IPv6)")
                    .arg(addresses.join(QStringLiteral(", ")))
                    .arg(addresses.size() - v6)
                    .arg(v6));
}

SiteCheckOutcome connectionOutcome(const QString &address, int port, qint64 elapsedMs)
{
    return pass(
        QStringLiteral("connected to %1 port %2 in %3 ms").arg(address).arg(port).arg(elapsedMs));
}

SiteCheckOutcome proxiedConnectionOutcome(const QString &host, int port, const QString &route,
                                          qint64 elapsedMs)
{
    return pass(QStringLiteral("connected to %1 port %2 through %3 in %4 ms")
                    .arg(host)
                    .arg(port)
                    .arg(route)
                    .arg(elapsedMs));
}

ConnectFailure connectFailureKind(long osErrno, bool timedOut)
{
    if (osErrno == ECONNREFUSED)
        return ConnectFailure::Refused;
    if (osErrno == EHOSTUNREACH || osErrno == ENETUNREACH)
        return ConnectFailure::Unreachable;
    if (timedOut || osErrno == ETIMEDOUT)
        return ConnectFailure::TimedOut;
    return ConnectFailure::Other;
}

SiteCheckOutcome connectionFailedOutcome(ConnectFailure kind, const QString &address, int port)
{
    switch (kind) {
    case ConnectFailure::Refused:
        return fail(QStringLiteral("%1 refused the connection to port %2").arg(address).arg(port),
                    QStringLiteral("Nothing accepts connections on port %1: the server is not "
                                   "running, or it listens on another port.")
                        .arg(port));
    case ConnectFailure::TimedOut:
        return fail(
            QStringLiteral("no answer from %1 port %2").arg(address).arg(port),
            QStringLiteral("A firewall drops port %1, on the way or at the server.").arg(port));
    case ConnectFailure::Unreachable:
        return fail(QStringLiteral("%1 is unreachable").arg(address),
                    QStringLiteral("There is no route from this computer to the server: check "
                                   "the network connection and the address."));
    case ConnectFailure::Other:
        break;
    }
    return fail(QStringLiteral("cannot connect to %1 port %2").arg(address).arg(port),
                QStringLiteral("Check the address and port of the site."));
}

SiteCheckOutcome greetingOutcome(int code, const QString &text, qint64 elapsedMs)
{
    const QString said = QStringLiteral("\"%1\" after %2 ms").arg(reply(code, text)).arg(elapsedMs);
    if (code == 421)
        return fail(said, QStringLiteral("The server turns new sessions away: too many "
                                         "connections, or this address is blocked."));
    if (code != 220)
        return fail(said, QStringLiteral("The server does not greet as an FTP server does: is "
                                         "this the FTP port?"));
    if (elapsedMs > 5000)
        return warning(said, QStringLiteral("A slow greeting is often the server looking up this "
                                            "computer's name; a reverse DNS entry for this "
                                            "address, or turning the lookup off, cures it."));
    return pass(said);
}

SiteCheckOutcome noGreetingOutcome(bool timedOut, int limitSeconds)
{
    if (!timedOut)
        return fail(QStringLiteral("the server closed the connection without a greeting"),
                    QStringLiteral("The server turns this address away before a word, or "
                                   "something on the way cuts the connection."));
    return fail(QStringLiteral("no greeting within %1 s").arg(limitSeconds),
                QStringLiteral("The server accepts connections but does not speak: is it an FTP "
                               "server?"));
}

SiteCheckOutcome loginOutcome(int code, const QString &text, const QString &user)
{
    if (code >= 200 && code < 300)
        return pass(QStringLiteral("logged in as %1").arg(user));
    const QString detail = QStringLiteral("refused: %1").arg(reply(code, text));
    static const QRegularExpression wantsTls(QStringLiteral("\\b(TLS|SSL|encrypt)"),
                                             QRegularExpression::CaseInsensitiveOption);
    if (code == 530 && wantsTls.match(text).hasMatch())
        return fail(detail, QStringLiteral("The server wants an encrypted session: choose the "
                                           "site's encrypted setting."));
    if (code == 421)
        return fail(detail, QStringLiteral("The server turns sessions away now: too many at once "
                                           "for this account or address."));
    return fail(detail, QStringLiteral("Check the user name and password. The check tries once "
                                       "only, so as not to lock the account."));
}

SiteCheckOutcome featuresOutcome(bool featAnswered, const QStringList &features,
                                 const QString &system)
{
    QStringList offered, lacking;
    for (const char *feature : InterestingFeatures)
        (features.contains(QLatin1String(feature)) ? offered : lacking) << QLatin1String(feature);
    const bool hash =
        std::any_of(std::begin(HashFeatures), std::end(HashFeatures),
                    [&features](const char *f) { return features.contains(QLatin1String(f)); });
    (hash ? offered : lacking) << QStringLiteral("hash");
    const QString systemPart =
        system.isEmpty() ? QString() : QStringLiteral("system \"%1\"; ").arg(system);
    if (!featAnswered)
        return warning(systemPart + QStringLiteral("FEAT refused"),
                       QStringLiteral("Without FEAT clients guess what the server can do: UTF-8 "
                                      "names, MLSD listings and resuming may go wrong."));
    QStringList parts;
    if (!offered.isEmpty())
        parts << QStringLiteral("offers %1").arg(offered.join(QStringLiteral(", ")));
    if (!lacking.isEmpty())
        parts << QStringLiteral("lacks %1").arg(lacking.join(QStringLiteral(", ")));
    return pass(systemPart + parts.join(QStringLiteral("; ")));
}

SiteCheckOutcome passiveDataOutcome(const PassiveListing &l)
{
    const QString mode = l.viaEpsv ? QStringLiteral("EPSV") : QStringLiteral("PASV (EPSV refused)");
    if (!l.dataConnected)
        return fail(QStringLiteral("the data port %1 never accepted (%2)").arg(l.dataAddress, mode),
                    QStringLiteral("The server's passive port range is not open in its firewall, "
                                   "or the server names ports it does not listen on."));
    if (!l.complete)
        return fail(QStringLiteral("the listing was cut short after %1 (%2)")
                        .arg(entriesText(l.entries), mode),
                    QStringLiteral("The data connection ended early: a firewall or the server "
                                   "cut it."));
    return pass(QStringLiteral("%1 over %2").arg(entriesText(l.entries), mode));
}

QString entriesText(int count)
{
    return count == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(count);
}

SiteCheckOutcome passiveAddressOutcome(const QString &advertised, const QString &peer)
{
    if (advertised.isEmpty())
        return pass(QStringLiteral("EPSV names no address: data goes to %1").arg(peer));
    const QHostAddress named = plainAddress(advertised);
    const QHostAddress reached = plainAddress(peer);
    const QString hint = QStringLiteral("The server must advertise its public address in PASV "
                                        "replies; clients that take it at its word cannot "
                                        "connect.");
    if (named.isNull())
        return warning(QStringLiteral("PASV names \"%1\", not an address").arg(advertised), hint);
    if (named.isEqual(reached))
        return pass(
            QStringLiteral("PASV names %1, the address connected to").arg(named.toString()));
    QString kind = QStringLiteral("a different address");
    if (named.isLoopback())
        kind = QStringLiteral("a loopback address");
    else if (named.isLinkLocal())
        kind = QStringLiteral("a link-local address");
    else if (isPrivate(named))
        kind = QStringLiteral("a private address");
    return warning(QStringLiteral("PASV names %1, %2; the control connection reached %3")
                       .arg(named.toString(), kind, reached.toString()),
                   hint);
}

SiteCheckOutcome activeModeOutcome(const ActiveListing &a)
{
    if (a.listed)
        return pass(QStringLiteral("listing over EPRT/PORT"));
    const QString hint = a.passiveWorked
                             ? QStringLiteral("Active mode needs inbound connections to this "
                                              "computer; passive mode works.")
                             : QStringLiteral("Neither passive nor active data connections work.");
    const QString detail = a.portRefused
                               ? QStringLiteral("the server refuses EPRT and PORT")
                               : QStringLiteral("no data connection came back to this computer");
    return a.passiveWorked ? warning(detail, hint) : fail(detail, hint);
}

SiteCheckOutcome ipv6Outcome(const Ipv6Check &c)
{
    if (c.address.isEmpty())
        return SiteCheckOutcome::skipped(QStringLiteral("the name has no IPv6 address"));
    if (!c.connected)
        return warning(QStringLiteral("no connection to %1").arg(c.address),
                       QStringLiteral("The name has an IPv6 address the server does not answer "
                                      "on: clients that try IPv6 first wait or fail."));
    if (!c.loggedIn)
        return warning(QStringLiteral("login over %1 refused").arg(c.address),
                       QStringLiteral("The server treats IPv6 sessions apart from IPv4 ones."));
    if (!c.listed)
        return warning(QStringLiteral("no passive listing over %1").arg(c.address),
                       QStringLiteral("The server's passive ports are not open over IPv6."));
    return pass(QStringLiteral("connected, logged in and listed over %1").arg(c.address));
}

QString folderFinding(const QString &folder, bool missing)
{
    return missing ? QStringLiteral("the folder %1 does not exist").arg(folder)
                   : QStringLiteral("the folder %1 cannot be opened").arg(folder);
}

SiteCheckOutcome folderOutcome(const QString &folder, bool missing, const QString &said)
{
    return SiteCheckOutcome::fail(
        QStringLiteral("%1 (%2)").arg(folderFinding(folder, missing), said),
        missing ? QStringLiteral("Check the folder's name: the check works in a folder that is "
                                 "there.")
                : QStringLiteral("Check the account's rights on the folder."));
}
