#include "curl_transfer.h"

#include "engine/engine_messages.h"
#include "engine/tls_trust.h"
#include "engine/transfer_engine.h"
#include "operation_factory.h"
#include "text/failure_text.h"
#include "text/retrieved_data.h"
#include "text/state_text.h"
#include "text/transfer_address.h"
#include "text/transfer_command.h"

#include <QScopedValueRollback>
#include <QThread>
#include <QUrl>

#include <curl/curl.h>
#include <openssl/crypto.h>

#include <deque>
#include <stdexcept>

namespace {

void ensureCurlInitialised()
{
    struct Global
    {
        Global() { curl_global_init(CURL_GLOBAL_DEFAULT); }
        ~Global() { curl_global_cleanup(); }
    };
    static Global global;
}

// A line break or NUL in a setting would end an FTP command early and start
// another one of the server's choosing.
bool breaksCommandLine(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
           text.contains(QChar(0));
}

} // namespace

class CurlTransfer::Private
{
public:
    explicit Private(CurlTransfer *q);
    ~Private();

    OperationOrder order(const TransferCommand &command) const;
    void post(std::function<void(TransferEngine &)> job);
    void receive(EngineReports &&reports);
    void answer(bool ok, const QString &text);
    void refuse(const QString &message);
    void setTimeout(const TransferCommand &command);
    void flush();

    CurlTransfer *q;
    QThread m_thread;
    std::shared_ptr<SocketRegistry> m_sockets = std::make_shared<SocketRegistry>();
    TransferEngine *m_engine = nullptr;

    QString m_url;
    QString m_user;
    QString m_password;
    int m_timeoutSeconds = DefaultTimeoutSeconds;
    CertificateLimits m_certificateLimits;
    bool m_newLogin = false;
    RemoteFolder m_folder;
    bool m_executing = false;
    std::function<bool(const QString &)> m_isLocalHost = isLoopbackHost;

    // Reports go out one at a time; a listener that spins the event loop may
    // bring more, which queue behind and go out from the outer loop, in order.
    std::deque<EngineReport> m_reports;
    bool m_flushing = false;
    // What ResponseCode/ResponseInfo show: the reply behind the report being sent.
    qint32 m_shownCode = 0;
    QString m_shownInfo;
    RetrievedData m_retrieved;
};

CurlTransfer::Private::Private(CurlTransfer *q) : q(q)
{
    ensureCurlInitialised();
    m_thread.setObjectName(QStringLiteral("transfer engine"));
    m_engine = new TransferEngine(
        &makeProtocolOperation,
        [q](EngineReports &&reports) {
            auto batch = std::make_shared<EngineReports>(std::move(reports));
            QMetaObject::invokeMethod(
                q, [q, batch] { q->d->receive(std::move(*batch)); }, Qt::QueuedConnection);
        },
        m_sockets, QThread::currentThread());
    m_engine->moveToThread(&m_thread);
    m_thread.start();
}

CurlTransfer::Private::~Private()
{
    // Cut every connection first: libcurl waits for the reply to QUIT when it
    // closes a login, and a server that never answers must not hold us here.
    m_sockets->shutdownAll();
    QMetaObject::invokeMethod(
        m_engine,
        [engine = m_engine] {
            engine->shutdown();
            // OpenSSL frees its per-thread state (the random generators of
            // every key exchange) when a thread ends, which may be after
            // wait() has returned and the program has begun to exit; freed
            // here, the thread leaves nothing behind.
            OPENSSL_thread_stop();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
    delete m_engine;
}

OperationOrder CurlTransfer::Private::order(const TransferCommand &command) const
{
    const std::optional<TransferAddress> address = transferAddress(m_url);
    if (!address && QUrl(m_url, QUrl::TolerantMode).host().isEmpty())
        throw std::runtime_error(
            QStringLiteral("The transfer URL \"%1\" names no host.").arg(m_url).toStdString());
    if (!address)
        throw std::runtime_error(
            QStringLiteral("The transfer URL \"%1\" is neither an FTP, an FTPS nor an SFTP "
                           "address.")
                .arg(m_url)
                .toStdString());

    OperationOrder order;
    order.command = command;
    order.protocol = address->ssh ? TransferProtocol::Sftp : TransferProtocol::Ftp;
    order.implicitTls = address->implicitTls;
    order.serverUrl = address->serverUrl();
    order.host = address->host;
    order.port = address->port;
    order.user = m_user;
    order.password = m_password;
    order.folder = m_folder;
    order.timeoutSeconds = m_timeoutSeconds;
    order.newLogin = m_newLogin;
    order.clearTextNeedsConsent = !m_isLocalHost(order.host);
    order.certificateLimits = m_certificateLimits;
    return order;
}

void CurlTransfer::Private::post(std::function<void(TransferEngine &)> job)
{
    QMetaObject::invokeMethod(
        m_engine, [engine = m_engine, job = std::move(job)] { job(*engine); },
        Qt::QueuedConnection);
}

void CurlTransfer::Private::receive(EngineReports &&reports)
{
    for (EngineReport &report : reports) {
        // The outcome takes effect as it arrives, so a listener of the final
        // state already sees the component idle and the data ready.
        if (report.kind == EngineReport::Kind::Finished) {
            m_executing = false;
            if (report.folder)
                m_folder = *report.folder;
            m_retrieved.replace(report.retrieved);
        }
        m_reports.push_back(std::move(report));
    }
    flush();
}

// Ends a command the facade answers itself (ok), or one refused before
// anything went to the engine: its last state with `text`, the text in the
// log, and the end. The reports go out from the event loop, after Execute
// has returned.
void CurlTransfer::Private::answer(bool ok, const QString &text)
{
    EngineReport state;
    state.state = ok ? TransferState::ResponseCompleted : TransferState::Error;
    state.info = text;
    EngineReport line;
    line.kind = EngineReport::Kind::Protocol;
    line.event.time = QTime::currentTime();
    line.event.text = text;
    EngineReport finished;
    finished.kind = EngineReport::Kind::Finished;
    finished.ok = ok;
    finished.doneText = ok ? text : QString();
    EngineReports reports;
    reports.push_back(std::move(state));
    if (ok)
        reports.push_back(std::move(line));
    reports.push_back(std::move(finished));
    auto batch = std::make_shared<EngineReports>(std::move(reports));
    QMetaObject::invokeMethod(
        q, [this, batch] { receive(std::move(*batch)); }, Qt::QueuedConnection);
}

void CurlTransfer::Private::refuse(const QString &message)
{
    answer(false, message);
}

// TIMEOUT: the wait for every reply of the commands after it, or what it is.
void CurlTransfer::Private::setTimeout(const TransferCommand &command)
{
    const bool changed = !command.args.isEmpty();
    if (changed)
        m_timeoutSeconds = command.args.first().toInt();
    answer(true, timeoutText(m_timeoutSeconds, changed));
}

void CurlTransfer::Private::flush()
{
    if (m_flushing)
        return;
    QScopedValueRollback<bool> guard(m_flushing, true);
    while (!m_reports.empty()) {
        const EngineReport report = std::move(m_reports.front());
        m_reports.pop_front();
        switch (report.kind) {
        case EngineReport::Kind::State:
            m_shownCode = report.code;
            m_shownInfo = report.info;
            Q_EMIT q->StateChanged(qint16(report.state));
            break;
        case EngineReport::Kind::Progress:
            Q_EMIT q->progressChanged(report.done, report.total);
            break;
        case EngineReport::Kind::Protocol:
            Q_EMIT q->protocolEvent(report.event);
            break;
        case EngineReport::Kind::Question:
            Q_EMIT q->trustQuestion(report.question);
            break;
        case EngineReport::Kind::SiteCheckStep:
            Q_EMIT q->siteCheckStep(report.siteCheckStep);
            break;
        case EngineReport::Kind::SiteCheckProgress:
            Q_EMIT q->siteCheckProgress(report.siteCheckProgress);
            break;
        case EngineReport::Kind::Protection:
            Q_EMIT q->protectionChanged(report.protection);
            break;
        case EngineReport::Kind::Finished:
            if (report.ok)
                Q_EMIT q->commandDone(report.doneText);
            Q_EMIT q->finished(report.ok);
            break;
        }
    }
}

CurlTransfer::CurlTransfer(QObject *parent)
    : TransferComponent(parent), d(std::make_unique<Private>(this))
{}

CurlTransfer::~CurlTransfer() = default;

QString CurlTransfer::URL() const
{
    return d->m_url;
}
QString CurlTransfer::UserName() const
{
    return d->m_user;
}
qint32 CurlTransfer::ResponseCode() const
{
    return d->m_shownCode;
}
QString CurlTransfer::ResponseInfo() const
{
    return d->m_shownInfo;
}
bool CurlTransfer::StillExecuting() const
{
    return d->m_executing;
}
void CurlTransfer::answerTrust(bool trusted)
{
    d->post([trusted](TransferEngine &engine) { engine.answerTrust(trusted); });
}
void CurlTransfer::setRequestTimeout(int seconds)
{
    d->m_timeoutSeconds = qMax(1, seconds);
}
void CurlTransfer::setCertificateLimits(const CertificateLimits &limits)
{
    d->m_certificateLimits = limits;
}
void CurlTransfer::setLocalHostRule(std::function<bool(const QString &host)> isLocal)
{
    d->m_isLocalHost = std::move(isLocal);
}
QString CurlTransfer::currentFolder() const
{
    return d->m_folder.display();
}

void CurlTransfer::setURL(const QString &url)
{
    if (url == d->m_url)
        return;
    d->m_url = url;
    d->m_newLogin = true;
    // A new site starts in its login folder, or in the folder its URL names.
    const QUrl parsed(url, QUrl::TolerantMode);
    d->m_folder = RemoteFolder{}.resolved(parsed.path());
    // An FTP URL's path is taken from the login folder; an SFTP URL's, as
    // libcurl and OpenSSH read it, from the root.
    d->m_folder.absolute =
        parsed.scheme().compare(QLatin1String("sftp"), Qt::CaseInsensitive) == 0 &&
        !d->m_folder.segments.isEmpty();
}

void CurlTransfer::setUserName(const QString &userName)
{
    if (userName != d->m_user)
        d->m_newLogin = true;
    d->m_user = userName;
}

void CurlTransfer::setPassword(const QString &password)
{
    if (password != d->m_password)
        d->m_newLogin = true;
    d->m_password = password;
}

void CurlTransfer::Execute(const QString &operation)
{
    TransferCommand command;
    try {
        command = parseTransferCommand(operation);
    } catch (const std::invalid_argument &error) {
        if (d->m_executing)
            throw std::runtime_error(StillExecutingText);
        throw std::runtime_error(error.what());
    }
    if (command.verb == TransferVerb::Abort) {
        if (!d->m_executing)
            throw std::runtime_error("Nothing to stop: no command is running.");
        d->post([](TransferEngine &engine) { engine.abort(); });
        return;
    }
    if (d->m_executing)
        throw std::runtime_error(StillExecutingText);
    if (command.verb == TransferVerb::Timeout)
        return d->setTimeout(command);
    if (d->m_url.isEmpty())
        throw std::runtime_error("No site chosen yet: pick a site in the site list first.");
    const OperationOrder order = d->order(command);

    d->m_retrieved.clear();
    if (breaksCommandLine(d->m_url))
        return d->refuse(QStringLiteral("The site's address holds a line break or NUL "
                                        "character; nothing was sent."));
    if (breaksCommandLine(d->m_user))
        return d->refuse(QStringLiteral("The site's account name holds a line break or NUL "
                                        "character; nothing was sent."));
    if (breaksCommandLine(d->m_password))
        return d->refuse(QStringLiteral("The site's password holds a line break or NUL "
                                        "character; nothing was sent."));

    d->m_executing = true;
    d->m_newLogin = false;
    d->post([order](TransferEngine &engine) { engine.start(order); });
    if (command.verb == TransferVerb::Check)
        Q_EMIT siteCheckStarted(siteCheckTargetOf(order), operation);
}

QString CurlTransfer::GetChunk(int size)
{
    if (d->m_executing)
        throw std::runtime_error(StillExecutingText);
    return d->m_retrieved.read(size);
}
