#pragma once

#include "text/protocol/ftp_hash.h"
#include "text/report/site_check_report.h"

#include <QString>
#include <QStringList>

// The rules of a site check: each turns what one step measured into a
// result, a detail line and the operator's hint. These are the steps of the
// connection, the login, the listings and the other addresses; the TLS steps
// are in site_check_tls_rules.h, the test file's in site_check_file_rules.h.
// Every wording the operator reads about a step is in those three.
// Step 1. Addresses as text ("192.0.2.1", "2001:db8::1"); none fails.
SiteCheckOutcome nameResolutionOutcome(const QString &host, const QStringList &addresses);

// Step 2, when the control connection is up.
SiteCheckOutcome connectionOutcome(const QString &address, int port, qint64 elapsedMs);
// Through a proxy: "connected to host port 21 through the SOCKS5 proxy
// 127.0.0.1:1080 in 3 ms", the time to the proxy and through it.
SiteCheckOutcome proxiedConnectionOutcome(const QString &host, int port, const QString &route,
                                          qint64 elapsedMs);

enum class ConnectFailure { Refused, TimedOut, Unreachable, Other };
// What kind of failure a connection attempt met, from the system's error
// number (CURLINFO_OS_ERRNO) and whether the attempt ran out of time.
ConnectFailure connectFailureKind(long osErrno, bool timedOut);
// Step 2, when no connection came about.
SiteCheckOutcome connectionFailedOutcome(ConnectFailure kind, const QString &address, int port);

// Step 3: the greeting's code and how long it took after the connection.
SiteCheckOutcome greetingOutcome(int code, const QString &text, qint64 elapsedMs);
// Step 3 when no greeting came: the server was silent up to the time-out
// (`limitSeconds`), or it closed the connection without a word.
SiteCheckOutcome noGreetingOutcome(bool timedOut, int limitSeconds);

// Step 6: the reply to the one login attempt.
SiteCheckOutcome loginOutcome(int code, const QString &text, const QString &user);

// Step 7 (the features offered as offeredFeatures reads them).
// featAnswered is false when the server refused FEAT.
SiteCheckOutcome featuresOutcome(bool featAnswered, const QStringList &features,
                                 const QString &system);

// The folder the check works in could not be entered or listed: a finding
// of its own, in the row where the folder is first used. `missing` when
// the server's answer says there is no such folder (FTP's 550, SFTP's
// status 2); `said` is that answer.
SiteCheckOutcome folderOutcome(const QString &folder, bool missing, const QString &said);
// "the folder /nosuch does not exist": what the verdict names.
QString folderFinding(const QString &folder, bool missing);

// Step 8: the passive listing.
struct PassiveListing
{
    bool viaEpsv = true;        // false when PASV had to stand in
    bool dataConnected = false; // the data port accepted the connection
    bool complete = false;      // the listing ended with a 2xx reply
    int entries = 0;
    QString dataAddress; // "address:port" tried
};
SiteCheckOutcome passiveDataOutcome(const PassiveListing &listing);
// "1 entry", "2 entries": a listing's length in a step's sentence.
QString entriesText(int count);

// Step 9: the address PASV advertised against the control connection's
// peer. An empty advertised address means EPSV was used and none was named.
SiteCheckOutcome passiveAddressOutcome(const QString &advertised, const QString &peer);

// Step 15.
struct ActiveListing
{
    bool listed = false;        // the listing over EPRT/PORT completed
    bool portRefused = false;   // the server refused EPRT and PORT
    bool passiveWorked = false; // step 8 passed
};
SiteCheckOutcome activeModeOutcome(const ActiveListing &listing);

// Step 16. None of the name's addresses is IPv6: noted as skipped.
struct Ipv6Check
{
    QString address; // empty when the name has no IPv6 address
    bool connected = false;
    bool loggedIn = false;
    bool listed = false;
};
SiteCheckOutcome ipv6Outcome(const Ipv6Check &check);
