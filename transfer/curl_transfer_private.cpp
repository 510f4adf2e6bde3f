#include "curl_transfer_private.h"

#include "engine/transfer_engine.h"
#include "operation_factory.h"
#include "text/failure_text.h"
#include "text/state_text.h"
#include "text/transfer_address.h"

#include <QScopedValueRollback>
#include <QUrl>

#include <curl/curl.h>
#include <openssl/crypto.h>

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

} // namespace

bool breaksCommandLine(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
           text.contains(QChar(0));
}

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

    // libcurl's own reading of the environment stays off (startRequest):
    // the proxy set there is the console's until PROXY says otherwise, and
    // the log says so once, after the window has connected to it.
    const auto read = [](const char *name) { return qEnvironmentVariable(name); };
    m_environmentFtp = environmentProxy(true, read);
    m_environmentOther = environmentProxy(false, read);
    const QString announced = environmentProxyText(m_environmentFtp, m_environmentOther);
    if (!announced.isEmpty()) {
        EngineReport line;
        line.kind = EngineReport::Kind::Protocol;
        line.event.time = QTime::currentTime();
        line.event.text = announced;
        auto batch = std::make_shared<EngineReports>(EngineReports{std::move(line)});
        QMetaObject::invokeMethod(
            q, [this, batch] { receive(std::move(*batch)); }, Qt::QueuedConnection);
    }
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
    order.proxy = proxyFor(order.protocol);
    order.newLogin = m_newLogin;
    order.clearTextNeedsConsent = !m_isLocalHost(order.host);
    order.certificateLimits = m_certificateLimits;
    order.soak = m_soak;
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

// KEEPALIVE: the interval of the keepalive from now on, or what it is.
void CurlTransfer::Private::setKeepalive(const TransferCommand &command)
{
    const bool changed = !command.args.isEmpty();
    if (changed) {
        const QString &word = command.args.first();
        m_keepaliveSeconds = word == QLatin1String(KeepaliveOff) ? 0 : word.toInt();
        post([seconds = m_keepaliveSeconds](TransferEngine &engine) {
            engine.setKeepalive(seconds);
        });
    }
    answer(true, keepaliveText(m_keepaliveSeconds, changed));
}

// PROXY: the proxy of the commands after it, none after PROXY OFF, or which
// is in use. An address it cannot use leaves the proxy as it was.
void CurlTransfer::Private::setProxy(const TransferCommand &command)
{
    if (command.args.isEmpty()) {
        if (!m_proxyChosen && (m_environmentFtp || m_environmentOther))
            return answer(true, environmentProxyText(m_environmentFtp, m_environmentOther));
        return answer(true, m_proxy ? proxyInUseText(*m_proxy) : noProxyText());
    }
    const QString &address = command.args.first();
    if (address.compare(QLatin1String("OFF"), Qt::CaseInsensitive) == 0) {
        m_proxy.reset();
    } else {
        try {
            m_proxy = parseProxyAddress(address);
        } catch (const std::invalid_argument &error) {
            return refuse(QString::fromUtf8(error.what()));
        }
    }
    m_proxyChosen = true;
    answer(true, m_proxy ? proxyInUseText(*m_proxy) : noProxyText());
}

std::optional<ProxyAddress> CurlTransfer::Private::proxyFor(TransferProtocol protocol) const
{
    if (m_proxyChosen)
        return m_proxy;
    const std::optional<EnvironmentProxy> &found =
        protocol == TransferProtocol::Ftp ? m_environmentFtp : m_environmentOther;
    if (!found)
        return std::nullopt;
    try {
        return parseProxyAddress(found->value);
    } catch (const std::invalid_argument &error) {
        throw std::runtime_error(QStringLiteral("%1 It is set in %2: PROXY OFF connects directly.")
                                     .arg(QString::fromUtf8(error.what()), found->variable)
                                     .toStdString());
    }
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
        case EngineReport::Kind::SoakRound:
            Q_EMIT q->soakRound(report.soakRound);
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
