#include "site_check/site_check_findings.h"

#include "site_check/rules/site_check_file_rules.h"
#include "site_check/rules/site_check_tls_rules.h"
#include "text/failure_text.h"
#include "text/proxy_failure_text.h"

#include <QHostAddress>
#include <QRegularExpression>

#include <netdb.h>

namespace {

// An address as the rules take it: "::1" from "[::1]:21" or "127.0.0.1:21".
QString addressPart(const QString &endpoint)
{
    const int colon = endpoint.lastIndexOf(QLatin1Char(':'));
    QString address = colon < 0 ? endpoint : endpoint.left(colon);
    if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
        address = address.mid(1, address.size() - 2);
    return address;
}

bool failed(const QList<SiteCheckStep> &steps)
{
    return !steps.isEmpty() && steps.last().outcome.result == SiteCheckResult::Fail;
}

} // namespace

QStringList resolveHost(const QString &host)
{
    // libcurl answers "localhost" and every name under it with the loopback
    // addresses itself, whatever the system's resolver says (which often
    // knows no *.localhost name); the check sees what the transfers see.
    if (host.endsWith(QLatin1String(".localhost"), Qt::CaseInsensitive))
        return resolveHost(QStringLiteral("localhost"));
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    QStringList addresses;
    if (getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) != 0)
        return addresses;
    for (addrinfo *a = found; a; a = a->ai_next) {
        const QString address = QHostAddress(a->ai_addr).toString();
        if (!addresses.contains(address))
            addresses << address;
    }
    freeaddrinfo(found);
    return addresses;
}

SiteCheckStep siteCheckStep(SiteCheckStepId id, const SiteCheckOutcome &outcome, qint64 elapsedMs,
                            const QVariantMap &measured, const SiteCheckExchange *reply)
{
    SiteCheckStep step;
    step.id = id;
    step.outcome = outcome;
    step.elapsedMs = elapsedMs;
    step.measured = measured;
    if (reply && reply->code) {
        step.replyCode = reply->code;
        step.replyText = reply->text;
    }
    return step;
}

QString pasvAddress(const QString &reply)
{
    static const QRegularExpression numbers(
        QStringLiteral("(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),\\d{1,3},\\d{1,3}"));
    const QRegularExpressionMatch match = numbers.match(reply);
    if (!match.hasMatch())
        return {};
    return QStringList{match.captured(1), match.captured(2), match.captured(3), match.captured(4)}
        .join(QLatin1Char('.'));
}

QList<SiteCheckStep> loginSteps(const SiteCheckLoginFacts &f, const SiteCheckTranscript &t,
                                const QDateTime &nowUtc)
{
    QList<SiteCheckStep> steps;
    steps << siteCheckStep(SiteCheckStepId::NameResolution,
                           nameResolutionOutcome(f.host, f.addresses), f.resolveMs,
                           {{QStringLiteral("addresses"), f.addresses}});
    if (failed(steps))
        return steps;

    // Through a proxy the connection reached the proxy: the step says a
    // failure of the proxy as its own.
    const QString peer = addressPart(f.peer);
    if (!f.proxyFailure.isEmpty()) {
        steps << siteCheckStep(SiteCheckStepId::Connection,
                               SiteCheckOutcome::fail(f.proxyFailure, proxyFailureHint()), -1,
                               {{QStringLiteral("proxy"), f.route}});
        return steps;
    }
    if (!f.connected) {
        const QString tried = f.addresses.value(0);
        steps << siteCheckStep(
            SiteCheckStepId::Connection,
            connectionFailedOutcome(connectFailureKind(f.osErrno, f.timedOut), tried, f.port), -1,
            {{QStringLiteral("address"), tried}, {QStringLiteral("errno"), qlonglong(f.osErrno)}});
        return steps;
    }
    steps << siteCheckStep(SiteCheckStepId::Connection,
                           f.route.isEmpty()
                               ? connectionOutcome(peer, f.port, f.connectMs)
                               : proxiedConnectionOutcome(f.host, f.port, f.route, f.connectMs),
                           f.connectMs, {{QStringLiteral("address"), peer}});

    const SiteCheckExchange *greeting = t.greeting();
    // Under implicit TLS the server greets after the handshake.
    const qint64 beforeGreeting =
        f.connectMs + f.resolveMs + (f.implicitTls ? qMax<qint64>(0, f.tlsMs) : 0);
    // libcurl's connect time and this side's clock differ by a millisecond or
    // so: a greeting straight after the connection never reads as negative.
    const qint64 greetMs = greeting ? qMax<qint64>(0, greeting->repliedMs - beforeGreeting) : -1;
    steps << siteCheckStep(SiteCheckStepId::Greeting,
                           greeting ? greetingOutcome(greeting->code, greeting->words(), greetMs)
                                    : noGreetingOutcome(f.timedOut, f.timeoutSeconds),
                           greetMs, {}, greeting);
    if (failed(steps))
        return steps;

    const QString protocol = f.tls ? f.handshake.protection : QString();
    steps << siteCheckStep(
        SiteCheckStepId::Encryption,
        encryptionOutcome(protocol, f.tls ? f.handshake.cipher : QString(), f.implicitTls), f.tlsMs,
        {{QStringLiteral("protocol"), protocol}, {QStringLiteral("cipher"), f.handshake.cipher}},
        t.last(QStringLiteral("AUTH")));
    const CertificateFacts certificate = certificateFactsFromDer(f.handshake.certificate);
    CertificateCheck check;
    check.tls = f.tls && certificate.valid;
    check.trustedBySystem = f.check == TlsSettings::Check::Authorities;
    check.trustedByOperator = f.check == TlsSettings::Check::Pinned;
    check.selfSigned = certificate.subject == certificate.issuer;
    check.notAfter = certificate.notAfter;
    check.issuer = certificate.issuer;
    steps << siteCheckStep(SiteCheckStepId::Certificate,
                           certificateOutcome(check, nowUtc, f.certificateLimits), -1,
                           {{QStringLiteral("subject"), certificate.subject},
                            {QStringLiteral("issuer"), certificate.issuer},
                            {QStringLiteral("notAfter"), certificate.notAfter},
                            {QStringLiteral("fingerprint"), certificate.fingerprint}});
    if (failed(steps))
        return steps;

    // USER alone answers when it is refused; PASS when it got that far.
    const SiteCheckExchange *pass = t.last(QStringLiteral("PASS"));
    const SiteCheckExchange *user = t.last(QStringLiteral("USER"));
    const SiteCheckExchange *login = pass ? pass : user;
    const qint64 loginMs = login && user ? login->repliedMs - user->sentMs : -1;
    steps << siteCheckStep(
        SiteCheckStepId::Login,
        login ? loginOutcome(login->code, login->words(), f.user)
              : SiteCheckOutcome::fail(QStringLiteral("no login took place"),
                                       QStringLiteral("The connection ended before the login.")),
        loginMs, {{QStringLiteral("user"), f.user}}, login);
    if (failed(steps))
        return steps;

    const SiteCheckExchange *feat = t.last(QStringLiteral("FEAT"));
    const SiteCheckExchange *syst = t.last(QStringLiteral("SYST"));
    const bool featAnswered = feat && feat->code / 100 == 2;
    const QStringList features = featAnswered ? offeredFeatures(feat->lines()) : QStringList();
    const QString system = syst && syst->code / 100 == 2 ? syst->words() : QString();
    steps << siteCheckStep(
        SiteCheckStepId::Features, featuresOutcome(featAnswered, features, system),
        feat ? feat->elapsedMs() + (syst ? syst->elapsedMs() : 0) : -1,
        {{QStringLiteral("system"), system}, {QStringLiteral("features"), features}}, feat);
    return steps;
}

QList<SiteCheckStep> listingSteps(const SiteCheckListingFacts &f, const SiteCheckTranscript &t)
{
    PassiveListing listing;
    const SiteCheckExchange *epsv = t.last(QStringLiteral("EPSV"), f.from);
    listing.viaEpsv = epsv && epsv->code == 229;
    listing.complete = f.result == CURLE_OK;
    const SiteCheckExchange *list = t.last(QStringLiteral("LIST"), f.from);
    listing.dataConnected = listing.complete || !f.listing.isEmpty() ||
                            (list && list->code != 425 && list->code != 0) ||
                            f.result == CURLE_PARTIAL_FILE;
    for (const QByteArray &line : f.listing.split('\n'))
        if (!line.trimmed().isEmpty())
            ++listing.entries;
    listing.dataAddress = f.dataAddress;

    QList<SiteCheckStep> steps;
    steps << siteCheckStep(SiteCheckStepId::PassiveData, passiveDataOutcome(listing), f.elapsedMs,
                           {{QStringLiteral("viaEpsv"), listing.viaEpsv},
                            {QStringLiteral("entries"), listing.entries},
                            {QStringLiteral("dataAddress"), f.dataAddress}},
                           list);

    const SiteCheckExchange *pasv = t.last(QStringLiteral("PASV"), f.from);
    const QString advertised = pasv && pasv->code == 227 ? pasvAddress(pasv->words()) : QString();
    const QString peer = addressPart(f.peer);
    steps << siteCheckStep(
        SiteCheckStepId::PassiveAddress, passiveAddressOutcome(advertised, peer),
        pasv ? pasv->elapsedMs() : -1,
        {{QStringLiteral("advertised"), advertised}, {QStringLiteral("peer"), peer}}, pasv);

    DataConnectionProtection protection;
    protection.tls = f.tls;
    const SiteCheckExchange *prot = t.last(QStringLiteral("PROT"));
    protection.protectedData = prot && prot->code / 100 == 2;
    protection.sessionResumed = f.dataResumed;
    steps << siteCheckStep(SiteCheckStepId::DataProtection, dataProtectionOutcome(protection), -1,
                           {{QStringLiteral("protected"), protection.protectedData},
                            {QStringLiteral("resumed"), protection.sessionResumed}},
                           prot);
    return steps;
}

QList<SiteCheckStep> uploadSteps(const SiteCheckUploadFacts &f, const SiteCheckTranscript &t)
{
    QList<SiteCheckStep> steps;
    const SiteCheckExchange *stor = t.last(QStringLiteral("STOR"), f.from);
    const int code = stor ? stor->code : 0;
    const qint64 bytes = f.payload.size();
    const qint64 confirmMs = code / 100 == 2 && f.allSentMs >= 0 && stor->repliedMs >= f.allSentMs
                                 ? stor->repliedMs - f.allSentMs
                                 : -1;
    const SiteCheckOutcome write =
        f.unconfirmedAfter > 0
            ? SiteCheckOutcome::fail(unconfirmedUploadText(bytes, f.unconfirmedAfter),
                                     QStringLiteral("The server took the file's data but did "
                                                    "not say it kept it: a slow disk or a scan "
                                                    "of uploads may hold its reply."))
            : combinedOutcome(
                  {writeOutcome(code, stor ? stor->words() : QString(), f.folder, bytes),
                   confirmationOutcome(confirmMs)});
    steps << siteCheckStep(
        SiteCheckStepId::Write, write, f.elapsedMs,
        {{QStringLiteral("bytes"), bytes}, {QStringLiteral("confirmMs"), confirmMs}}, stor);
    if (code / 100 != 2)
        return steps;

    const SiteCheckExchange *size = t.last(QStringLiteral("SIZE"), f.from);
    const qint64 reported = size && size->code == 213 ? size->words().trimmed().toLongLong() : -1;
    const SiteCheckExchange *mdtm = t.last(QStringLiteral("MDTM"), f.from);
    const HashCommand hash = hashCommand(f.featLines);
    const SiteCheckExchange *hashed =
        hash.command.isEmpty() ? nullptr : t.last(hash.command + QLatin1Char(' '), f.from);
    const QString local = localDigest(hash.algorithm, f.payload);
    const QString remote = hashed ? replyDigest(hash, hashed->lastLine(), bytes) : QString();
    qint64 elapsed = 0;
    for (const SiteCheckExchange *e : {size, mdtm, hashed})
        if (e)
            elapsed += qMax<qint64>(0, e->elapsedMs());
    steps << siteCheckStep(
        SiteCheckStepId::Verify,
        combinedOutcome({sizeOutcome(bytes, reported),
                         clockOutcome(mdtm ? mdtm->lastLine() : QString(), f.uploadEndedUtc),
                         hashOutcome(hash, local, remote)}),
        elapsed,
        {{QStringLiteral("size"), reported},
         {QStringLiteral("mdtm"), mdtm ? mdtm->lastLine() : QString()},
         {QStringLiteral("hashCommand"), hash.command},
         {QStringLiteral("localDigest"), local},
         {QStringLiteral("serverDigest"), remote}},
        size);
    return steps;
}
