#include "curl_transfer.h"

#include "curl_transfer_private.h"
#include "engine/transfer_engine.h"
#include "operation_factory.h"
#include "text/failure_text.h"
#include "text/state_text.h"
#include "text/transfer_address.h"

#include <QUrl>

#include <stdexcept>

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
void CurlTransfer::setProxy(const std::optional<ProxyAddress> &proxy)
{
    d->m_proxy = proxy;
    d->m_proxyChosen = true;
}

void CurlTransfer::setSoakSettings(const SoakSettings &settings)
{
    d->m_soak = settings;
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
    if (command.verb == TransferVerb::Keepalive)
        return d->setKeepalive(command);
    if (command.verb == TransferVerb::Proxy)
        return d->setProxy(command);
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
    if (command.verb == TransferVerb::Soak)
        Q_EMIT soakStarted(soakTargetOf(order), operation);
}

QString CurlTransfer::GetChunk(int size)
{
    if (d->m_executing)
        throw std::runtime_error(StillExecutingText);
    return d->m_retrieved.read(size);
}
