#include "resume_download.h"

#include "text/resume_text.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

ResumeDownload::ResumeDownload(OperationOrder order, const OperationContext &context,
                               OperationFactory make)
    : m_order(std::move(order)), m_context(context), m_make(std::move(make))
{
    const QStringList &args = m_order.command.args;
    m_remote = args.at(0);
    m_local = resumeLocalPath(m_order.command);
    const QFileInfo partial(m_local);
    if (!partial.isFile())
        throw std::runtime_error(resumeMissingText(m_local).toStdString());
    m_localSize = partial.size();
    begin(Phase::Size, TransferCommand{TransferVerb::Size, {m_remote}});
}

void ResumeDownload::begin(Phase phase, const TransferCommand &command, qint64 resumeFrom,
                           const QByteArray &range)
{
    OperationOrder step = m_order;
    step.command = command;
    step.resumeFrom = resumeFrom;
    step.range = range;
    m_phase = phase;
    m_step.reset(); // leaves the handle pointing at nothing of its own
    m_step = m_make(step, m_context);
}

OperationStep ResumeDownload::done(CURLcode result)
{
    OperationStep step = m_step->done(result);
    // A step's own next request, a second attempt or a question: the
    // engine handles it as for any operation, and a new attempt or a Yes
    // starts the whole resume again.
    if (step.kind != OperationStep::Kind::Finished)
        return step;
    m_freshLogin = m_freshLogin || step.outcome.freshLogin;
    if (!step.outcome.ok)
        return end(std::move(step.outcome));
    try {
        return next(std::move(step.outcome));
    } catch (const std::runtime_error &error) {
        return end({}, QString::fromUtf8(error.what()));
    }
}

OperationStep ResumeDownload::next(OperationOutcome outcome)
{
    // The login stands; the requests after the first are told nothing new.
    m_context.announceUtf8 = m_context.announceUtf8 && !outcome.announcedUtf8;
    m_context.loginEncrypted =
        !outcome.protection.isEmpty() && outcome.protection != QLatin1String("not encrypted");
    OperationStep more;
    more.kind = OperationStep::Kind::Continue;
    switch (m_phase) {
    case Phase::Size: {
        bool known = false;
        m_remoteSize =
            outcome.retrieved ? outcome.retrieved->readAll().trimmed().toLongLong(&known) : -1;
        if (!known || m_remoteSize < 0)
            return end(std::move(outcome),
                       QStringLiteral("The server did not say the size of %1, which a resumed "
                                      "download needs")
                           .arg(m_remote));
        if (m_localSize > m_remoteSize)
            return end(std::move(outcome), resumeLargerText(m_local, m_localSize, m_remoteSize));
        if (m_localSize == 0) {
            begin(Phase::Fetch, TransferCommand{TransferVerb::Get, {m_remote, m_local}});
            return more;
        }
        const qint64 from = qMax<qint64>(0, m_localSize - ResumeOverlap);
        QFile partial(m_local);
        if (!partial.open(QIODevice::ReadOnly) || !partial.seek(from))
            return end(std::move(outcome), resumeMissingText(m_local));
        m_tail = partial.read(m_localSize - from);
        begin(Phase::Compare, TransferCommand{TransferVerb::Get, {m_remote}}, 0,
              QByteArray::number(from) + '-' + QByteArray::number(m_localSize - 1));
        return more;
    }
    case Phase::Compare: {
        const QByteArray served = outcome.retrieved ? outcome.retrieved->readAll() : QByteArray();
        if (served.size() != m_tail.size())
            return end(std::move(outcome),
                       resumeShortReadText(m_local, m_tail.size(), served.size()));
        const qint64 differs = firstDifference(m_tail, served);
        if (differs >= 0)
            return end(std::move(outcome),
                       resumeMismatchText(m_local, m_localSize - m_tail.size() + differs));
        if (m_localSize == m_remoteSize) {
            outcome.summary = resumeWholeText(m_local, m_localSize, m_tail.size());
            outcome.retrieved.reset();
            outcome.times.bytes = 0;
            return end(std::move(outcome));
        }
        begin(Phase::Fetch, TransferCommand{TransferVerb::Get, {m_remote, m_local}}, m_localSize);
        return more;
    }
    case Phase::Fetch: {
        const qint64 whole = QFileInfo(m_local).size();
        if (whole != m_remoteSize)
            return end(std::move(outcome), resumeSizeText(m_local, whole, m_remoteSize));
        return end(std::move(outcome));
    }
    }
    return end(std::move(outcome));
}

OperationStep ResumeDownload::end(OperationOutcome outcome, const QString &failure)
{
    if (!failure.isEmpty()) {
        outcome.ok = false;
        outcome.failure = failure;
        outcome.retrieved.reset();
        outcome.folder.reset();
    }
    outcome.freshLogin = m_freshLogin;
    return OperationStep::finished(std::move(outcome));
}
