#include "soak_operation.h"

#include "engine/report_queue.h"
#include "text/failure_text.h"

#include <QRandomGenerator>

#include <algorithm>

SoakOperation::SoakOperation(OperationOrder order, const OperationContext &context,
                             OperationFactory make)
    : StepwiseOperation(std::move(order), context, std::move(make)), m_settings(this->order().soak)
{
    m_clock.start();
    const SoakArguments args = soakArguments(this->order().command.args);
    m_rounds = args.rounds;
    m_seed = m_settings.seed.value_or(QRandomGenerator::system()->generate64() >> 1);
    const QString name = QStringLiteral("sarvel-soak-%1.bin")
                             .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
    QString folder = args.folder;
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    m_remote = folder.isEmpty()               ? name
               : folder == QLatin1String("/") ? folder + name
                                              : folder + QLatin1Char('/') + name;
    reports().protocol(ProtocolEvent::Kind::Info,
                       QStringLiteral("Soak of %1 rounds of up to %2 bytes, seed %3, as %4")
                           .arg(m_rounds)
                           .arg(m_settings.maxSize)
                           .arg(m_seed)
                           .arg(m_remote));
    startRound();
}

GeneratedFile::Fill SoakOperation::fill() const
{
    return [seed = m_seed, round = m_round.number - 1](qint64 offset, char *data, qint64 length) {
        soakFill(seed, round, offset, data, length);
    };
}

OperationStep SoakOperation::startRound()
{
    const int number = int(m_ended.size()) + 1;
    m_round = SoakRound{};
    m_round.number = number;
    m_round.rounds = m_rounds;
    m_round.seed = m_seed;
    m_round.size = soakRoundSize(m_seed, number - 1, m_settings.maxSize);
    m_uploadFailure.clear();
    m_readBack.reset();
    return run(SoakPhase::Upload);
}

OperationStep SoakOperation::run(SoakPhase request)
{
    m_request = request;
    m_requestClock.start();
    switch (request) {
    case SoakPhase::Upload:
        m_fileMayExist = true;
        return begin(
            {TransferVerb::Put, {QStringLiteral("round-%1.bin").arg(m_round.number), m_remote}}, 0,
            {}, {}, std::make_shared<GeneratedFile>(m_round.size, fill()));
    case SoakPhase::Verify:
        return begin({TransferVerb::Size, {m_remote}});
    case SoakPhase::ReadBack:
        m_readBack = std::make_shared<ComparedFile>(m_round.size, fill());
        return begin({TransferVerb::Get, {m_remote}}, 0, {}, {}, m_readBack);
    case SoakPhase::Delete:
    case SoakPhase::Connect:
    case SoakPhase::Login:
        break;
    }
    m_request = SoakPhase::Delete;
    return begin({TransferVerb::Delete, {m_remote}});
}

void SoakOperation::time(SoakPhase phase, const OperationOutcome &outcome)
{
    const PhaseTimes &t = outcome.times;
    const auto part = [](qint64 micros) { return qMax<qint64>(0, micros); };
    const qint64 connect =
        part(t.resolve) + part(t.connect) + part(t.greeting) + part(t.keyExchange);
    const qint64 login = part(t.tls) + part(t.login);
    auto add = [this](SoakPhase into, qint64 micros) {
        qint64 &slot = m_round.micros[size_t(into)];
        slot = qMax<qint64>(0, slot) + micros;
    };
    if (connect > 0 || login > 0) {
        add(SoakPhase::Connect, connect);
        add(SoakPhase::Login, login);
    }
    add(phase, qMax<qint64>(0, m_requestClock.nsecsElapsed() / 1000 - connect - login));
}

void SoakOperation::fail(SoakPhase phase, const QString &reason)
{
    if (m_round.failedIn)
        return; // the first failure is the round's
    m_round.failedIn = phase;
    m_round.reason = reason;
}

OperationStep SoakOperation::next(OperationOutcome outcome)
{
    time(m_request, outcome);
    m_loginStood = true;
    if (m_stopping)
        return finish(true);
    switch (m_request) {
    case SoakPhase::Upload:
        return run(SoakPhase::Verify);
    case SoakPhase::Verify:
        return afterVerify(outcome);
    case SoakPhase::ReadBack:
        m_round.readBack = m_readBack->received();
        if (!m_readBack->whole())
            fail(SoakPhase::ReadBack, soakReadBackText(m_readBack->received(), m_round.size,
                                                       m_readBack->firstDifference()));
        return run(SoakPhase::Delete);
    case SoakPhase::Delete:
    case SoakPhase::Connect:
    case SoakPhase::Login:
        break;
    }
    m_fileMayExist = false;
    return endRound();
}

OperationStep SoakOperation::stepFailed(OperationOutcome outcome)
{
    const SoakPhase phase = soakFailedPhase(m_request, m_loginStood, outcome.times);
    m_loginStood = phase != SoakPhase::Connect && phase != SoakPhase::Login;
    // A connection or login that failed took the request's time.
    time(m_loginStood ? m_request : phase, outcome);
    const QString reason = outcome.failure.isEmpty() ? reports().replyText() : outcome.failure;
    if (m_stopping)
        return finish(true);
    switch (m_request) {
    case SoakPhase::Upload:
        // No login, no file; otherwise what the server kept tells more.
        if (phase == SoakPhase::Connect || phase == SoakPhase::Login) {
            fail(phase, reason);
            m_fileMayExist = false;
            return endRound();
        }
        m_uploadFailure = reason;
        return run(SoakPhase::Verify);
    case SoakPhase::Verify:
        fail(m_uploadFailure.isEmpty() ? phase : SoakPhase::Upload,
             m_uploadFailure.isEmpty() ? reason : m_uploadFailure);
        return run(SoakPhase::Delete);
    case SoakPhase::ReadBack:
        if (m_readBack)
            m_round.readBack = m_readBack->received();
        fail(phase, reason);
        return run(SoakPhase::Delete);
    case SoakPhase::Delete:
    case SoakPhase::Connect:
    case SoakPhase::Login:
        break;
    }
    fail(phase, reason);
    // Left behind when the server showed it had it; an upload it refused
    // may have left nothing to delete.
    m_round.leftBehind = m_round.kept >= 0;
    m_fileMayExist = false; // not to be tried again
    return endRound();
}

OperationStep SoakOperation::afterVerify(const OperationOutcome &outcome)
{
    bool known = false;
    const qint64 kept =
        outcome.retrieved ? outcome.retrieved->readAll().trimmed().toLongLong(&known) : -1;
    m_round.kept = known ? kept : -1;
    if (known && kept != m_round.size)
        fail(SoakPhase::Verify, soakKeptText(kept, m_round.size));
    else if (!m_uploadFailure.isEmpty())
        fail(SoakPhase::Upload, m_uploadFailure);
    return run(m_round.failedIn ? SoakPhase::Delete : SoakPhase::ReadBack);
}

OperationStep SoakOperation::endRound()
{
    m_ended << m_round;
    reports().soakRound(m_round);
    reports().protocol(ProtocolEvent::Kind::Info, soakRoundLine(m_round));
    if (m_ended.size() >= m_rounds)
        return finish(false);
    return startRound();
}

OperationStep SoakOperation::stopping()
{
    if (m_stopping)
        return OperationStep::finished(stop());
    m_stopping = true;
    StepwiseOperation::stop(); // the running request ends, and says so
    // A file that may be on the server goes first, whatever the round had
    // come to.
    if (m_fileMayExist)
        return run(SoakPhase::Delete);
    return OperationStep::finished(stop());
}

OperationOutcome SoakOperation::stop()
{
    return finish(true).outcome;
}

OperationStep SoakOperation::finish(bool stopped)
{
    const QString line = soakSummaryLine(summarizeSoak(m_ended));
    OperationOutcome outcome;
    outcome.ok = !stopped && m_ended.size() == m_rounds &&
                 std::all_of(m_ended.begin(), m_ended.end(),
                             [](const SoakRound &round) { return round.passed(); });
    outcome.times.total = m_clock.nsecsElapsed() / 1000;
    if (outcome.ok) {
        outcome.summary = line;
        return end(std::move(outcome));
    }
    return end(std::move(outcome),
               stopped ? QStringLiteral("%1 after %2").arg(QLatin1String(StoppedText), line)
                       : line);
}
