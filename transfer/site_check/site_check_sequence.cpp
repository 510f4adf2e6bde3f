#include "site_check/site_check_sequence.h"

#include "engine/libcurl_version.h"
#include "site_check/rules/site_check_file_rules.h"
#include "site_check/rules/site_check_rules.h"
#include "site_check/rules/site_check_tls_rules.h"
#include "site_check/site_check_clean_up.h"

#include <QHostAddress>

namespace {

QString firstIpv6(const QStringList &addresses)
{
    for (const QString &address : addresses)
        if (QHostAddress(address).protocol() == QAbstractSocket::IPv6Protocol)
            return address;
    return {};
}

const QString LostConnection =
    QStringLiteral("the server closed the connection; the check logs in once");

} // namespace

SiteCheckSequence::SiteCheckSequence(Target target, SiteCheckBook::Outlets outlets)
    : m_target(std::move(target)), m_book(siteCheckSteps(), std::move(outlets))
{}

QString SiteCheckSequence::filePath() const
{
    const QString folder = m_target.folder.display();
    return folder.isEmpty() ? m_target.fileName : folder + QLatin1Char('/') + m_target.fileName;
}

QString SiteCheckSequence::deletionPath() const
{
    const RemoteFolder &folder = m_target.folder;
    if (!folder.absolute && !m_loginFolder.startsWith(QLatin1Char('/')))
        return filePath();
    QStringList segments = folder.segments;
    if (!folder.absolute)
        segments = RemoteFolder{}.resolved(m_loginFolder).segments + segments;
    return QLatin1Char('/') + (segments + QStringList{m_target.fileName}).join(QLatin1Char('/'));
}

void SiteCheckSequence::resolved(const QStringList &addresses, qint64 ms)
{
    m_target.addresses = addresses;
    m_target.resolveMs = ms;
}

SiteCheckRequest SiteCheckSequence::next(SiteCheckRequest done, const SiteCheckRequestFacts &facts,
                                         const SiteCheckTranscript &transcript)
{
    switch (done) {
    case SiteCheckRequest::Login:
        return afterLogin(facts, transcript);
    case SiteCheckRequest::Listing:
        return afterListing(facts, transcript);
    case SiteCheckRequest::Upload:
        return afterUpload(facts, transcript);
    case SiteCheckRequest::ReadBack:
        return afterReadBack(facts, transcript);
    case SiteCheckRequest::CleanUp:
        return afterCleanUp(facts, transcript);
    case SiteCheckRequest::Active:
        return afterActive(&facts, transcript);
    case SiteCheckRequest::Ipv6:
        afterIpv6(facts, transcript);
        break;
    case SiteCheckRequest::None:
        break;
    }
    return SiteCheckRequest::None;
}

SiteCheckRequest SiteCheckSequence::afterLogin(const SiteCheckRequestFacts &f,
                                               const SiteCheckTranscript &t)
{
    SiteCheckLoginFacts facts;
    facts.host = m_target.order.host;
    facts.port = m_target.order.port;
    facts.user = m_target.order.user;
    facts.addresses = m_target.addresses;
    facts.resolveMs = m_target.resolveMs;
    facts.result = f.result;
    facts.connected = f.connected;
    facts.connectMs = f.connectMs;
    facts.osErrno = f.osErrno;
    facts.timedOut = f.result == CURLE_OPERATION_TIMEDOUT;
    facts.timeoutSeconds = m_target.order.timeoutSeconds;
    facts.peer = f.peer;
    if (m_target.order.proxy)
        facts.route = m_target.order.proxy->route();
    facts.proxyFailure = f.proxyFailure;
    facts.tls = f.tls;
    facts.implicitTls = m_target.order.implicitTls;
    facts.handshake = f.handshake;
    facts.tlsMs = f.tlsMs;
    facts.check = f.check;
    facts.certificateLimits = m_target.order.certificateLimits;
    const QList<SiteCheckStep> steps = loginSteps(facts, t, QDateTime::currentDateTimeUtc());
    for (const SiteCheckStep &step : steps)
        report(step);
    if (steps.size() < int(SiteCheckStepId::Features)) {
        m_book.skipAfter(steps.constLast().id, SiteCheckStepId::NameResolution);
        return SiteCheckRequest::None;
    }
    m_loggedIn = true;
    m_tls = f.tls;
    if (const SiteCheckExchange *feat = t.last(QStringLiteral("FEAT")))
        m_featLines = feat->lines();
    const SiteCheckExchange *pwd = t.last(QStringLiteral("PWD"));
    if (pwd && pwd->code == 257)
        m_loginFolder = folderFromPwdReply(pwd->lastLine());
    const SiteCheckExchange *cwd = t.last(QStringLiteral("CWD"));
    if (cwd && cwd->code >= 400) {
        const QString folder = m_target.folder.display();
        const bool missing = cwd->code == 550;
        report(siteCheckStep(SiteCheckStepId::PassiveData,
                             folderOutcome(folder, missing, cwd->lastLine()), cwd->elapsedMs(), {},
                             cwd));
        m_book.skipAfter(SiteCheckStepId::PassiveData, SiteCheckStepId::PassiveAddress,
                         folderFinding(folder, missing));
        return SiteCheckRequest::None;
    }
    return SiteCheckRequest::Listing;
}

SiteCheckRequest SiteCheckSequence::afterListing(const SiteCheckRequestFacts &f,
                                                 const SiteCheckTranscript &t)
{
    if (f.lostConnection) {
        m_book.skipFrom(SiteCheckStepId::PassiveData, LostConnection, LostConnection);
        return SiteCheckRequest::None;
    }
    SiteCheckListingFacts facts;
    facts.result = f.result;
    facts.listing = f.received;
    facts.dataAddress = f.dataAddress;
    facts.peer = f.peer;
    facts.elapsedMs = f.elapsedMs;
    facts.tls = m_tls;
    facts.dataResumed = f.dataResumed;
    facts.from = f.from;
    for (const SiteCheckStep &step : listingSteps(facts, t))
        report(step);
    m_passiveWorked = f.result == CURLE_OK;
    const SiteCheckExchange *size = t.last(QStringLiteral("SIZE "), f.from);
    if (size && size->code == 213) {
        const QString exists =
            QStringLiteral("a file named %1 exists; nothing is overwritten").arg(filePath());
        m_book.skip(SiteCheckStepId::Write, SiteCheckStepId::CleanUp, exists, exists);
        return toActiveMode(t);
    }
    return SiteCheckRequest::Upload;
}

SiteCheckRequest SiteCheckSequence::afterUpload(const SiteCheckRequestFacts &f,
                                                const SiteCheckTranscript &t)
{
    if (f.lostConnection) {
        m_book.skipFrom(SiteCheckStepId::Write, LostConnection, LostConnection);
        return SiteCheckRequest::None;
    }
    SiteCheckUploadFacts facts;
    facts.folder = m_target.folder.display().isEmpty() ? QStringLiteral("the login folder")
                                                       : m_target.folder.display();
    facts.payload = m_target.payload;
    facts.uploadEndedUtc =
        f.uploadEndedUtc.isValid() ? f.uploadEndedUtc : QDateTime::currentDateTimeUtc();
    facts.featLines = m_featLines;
    facts.elapsedMs = f.elapsedMs;
    facts.from = f.from;
    facts.allSentMs = f.allSentMs;
    const SiteCheckExchange *stor = t.last(QStringLiteral("STOR"), f.from);
    if (f.result == CURLE_OPERATION_TIMEDOUT && f.allSentMs >= 0 && stor && stor->code < 200)
        facts.unconfirmedAfter = m_target.order.timeoutSeconds;
    const QList<SiteCheckStep> steps = uploadSteps(facts, t);
    for (const SiteCheckStep &step : steps)
        report(step);
    if (stor && isWriteRefusal(stor->code)) {
        m_book.skipAfter(SiteCheckStepId::Write, SiteCheckStepId::Verify, SiteCheckStepId::CleanUp,
                         writeRefusedText(facts.folder));
        return toActiveMode(t);
    }
    if (steps.size() < 2) {
        m_book.skipAfter(SiteCheckStepId::Write, SiteCheckStepId::Verify,
                         SiteCheckStepId::ReadBack);
        // Part of the file may be there all the same.
        return stor ? SiteCheckRequest::CleanUp : toActiveMode(t);
    }
    return SiteCheckRequest::ReadBack;
}

SiteCheckRequest SiteCheckSequence::afterReadBack(const SiteCheckRequestFacts &f,
                                                  const SiteCheckTranscript &t)
{
    SiteCheckOutcome outcome =
        readBackOutcome(m_target.payload, f.received, f.firstByteMs, f.elapsedMs);
    if (f.result != CURLE_OK && f.received == m_target.payload)
        outcome =
            SiteCheckOutcome::fail(f.error, QStringLiteral("The download ended in an error."));
    report(siteCheckStep(SiteCheckStepId::ReadBack, outcome, f.elapsedMs,
                         {{QStringLiteral("bytes"), qint64(f.received.size())}},
                         t.last(QStringLiteral("RETR"), f.from)));
    return SiteCheckRequest::CleanUp;
}

void SiteCheckSequence::cleanedUp(const SiteCheckRequestFacts &f, const SiteCheckTranscript &t)
{
    const SiteCheckExchange *dele = t.last(QStringLiteral("DELE"), f.from);
    const SiteCheckExchange *size = t.last(QStringLiteral("SIZE"), f.from);
    const QString why = f.error.isEmpty() ? QStringLiteral("no connection") : f.error;
    report(siteCheckStep(SiteCheckStepId::CleanUp,
                         dele && dele->code ? cleanUpOutcome(dele->code, dele->words(), filePath(),
                                                             size && size->code == 213)
                                            : cleanUpUnanswered(filePath(), why),
                         f.elapsedMs, {{QStringLiteral("file"), filePath()}}, dele));
}

SiteCheckRequest SiteCheckSequence::afterCleanUp(const SiteCheckRequestFacts &f,
                                                 const SiteCheckTranscript &t)
{
    cleanedUp(f, t);
    return f.lostConnection ? SiteCheckRequest::None : toActiveMode(t);
}

SiteCheckRequest SiteCheckSequence::toActiveMode(const SiteCheckTranscript &t)
{
    // libcurl 7.88 would wait for its data connection for ever.
    if (m_tls && activeModeBrokenUnderTls(libcurlVersion()))
        return afterActive(nullptr, t);
    // No proxy passes on a connection from the server back to this machine.
    if (m_target.order.proxy)
        return afterActive(nullptr, t);
    return SiteCheckRequest::Active;
}

SiteCheckRequest SiteCheckSequence::afterActive(const SiteCheckRequestFacts *f,
                                                const SiteCheckTranscript &t)
{
    if (f && f->lostConnection) {
        m_book.skipFrom(SiteCheckStepId::ActiveMode, LostConnection, LostConnection);
        return SiteCheckRequest::None;
    }
    if (f) {
        ActiveListing listing;
        listing.listed = f->result == CURLE_OK;
        const SiteCheckExchange *eprt = t.last(QStringLiteral("EPRT"), f->from);
        const SiteCheckExchange *port = t.last(QStringLiteral("PORT"), f->from);
        listing.portRefused =
            (eprt || port) && (!eprt || eprt->code >= 500) && (!port || port->code >= 500);
        listing.passiveWorked = m_passiveWorked;
        report(siteCheckStep(SiteCheckStepId::ActiveMode, activeModeOutcome(listing), f->elapsedMs,
                             {}, port ? port : eprt));
    } else if (m_target.order.proxy) {
        report(siteCheckStep(
            SiteCheckStepId::ActiveMode,
            SiteCheckOutcome::skipped(activeModeThroughProxyText(*m_target.order.proxy)), -1));
    } else {
        report(siteCheckStep(SiteCheckStepId::ActiveMode,
                             activeModeSkippedOutcome(libcurlVersion()), -1));
    }
    if (firstIpv6(m_target.addresses).isEmpty()) {
        report(siteCheckStep(SiteCheckStepId::Ipv6, ipv6Outcome({}), -1));
        return SiteCheckRequest::None;
    }
    return SiteCheckRequest::Ipv6;
}

void SiteCheckSequence::afterIpv6(const SiteCheckRequestFacts &f, const SiteCheckTranscript &t)
{
    Ipv6Check check;
    check.address = firstIpv6(m_target.addresses);
    const SiteCheckExchange *pass = t.last(QStringLiteral("PASS"), f.from);
    check.connected = f.connected || pass;
    check.loggedIn = pass && pass->code / 100 == 2;
    check.listed = f.result == CURLE_OK;
    report(siteCheckStep(SiteCheckStepId::Ipv6, ipv6Outcome(check), f.elapsedMs,
                         {{QStringLiteral("address"), check.address}}, pass));
}
