#pragma once

#include "engine/libcurl_version.h"
#include "text/proxy_address.h"
#include "transfer_component.h"

#include <functional>
#include <memory>
#include <optional>

// The transfer client of the console, for FTP, FTPS and SFTP sites. Commands are checked here, on
// the caller's thread, and refused at once when they cannot run; accepted ones go to a transfer
// engine on a thread of its own, whose reports come back as queued events and go out as signals in
// order. One operation runs at a time; the login is kept between operations and dropped when the
// site changes or on CLOSE.

class CurlTransfer final : public TransferComponent
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CurlTransfer)
public:
    explicit CurlTransfer(QObject *parent = nullptr);
    ~CurlTransfer() override;

    QString URL() const override;
    void setURL(const QString &url) override;
    QString UserName() const override;
    void setUserName(const QString &userName) override;
    void setPassword(const QString &password) override;

    void Execute(const QString &operation) override;
    QString GetChunk(int size) override;
    qint32 ResponseCode() const override;
    QString ResponseInfo() const override;
    bool StillExecuting() const override;
    void answerTrust(bool trusted) override;

    // Seconds a connection attempt, a server reply or a stalled transfer may
    // take before the operation ends in the error state, as TIMEOUT sets
    // them; DefaultTimeoutSeconds until then.
    void setRequestTimeout(int seconds);

    // The proxy every later command connects through, as PROXY sets it;
    // none connects directly. Either way the environment's proxy is no
    // longer used.
    void setProxy(const std::optional<ProxyAddress> &proxy);

    // How near its end the server's certificate may be before CHECK's
    // certificate step warns or fails; 30 and 7 days by default.
    void setCertificateLimits(const CertificateLimits &limits);

    // The largest file a SOAK round sends, and the seed its sizes and bytes
    // come from; 4 MiB and a new seed each time by default.
    void setSoakSettings(const SoakSettings &settings);

    // Which hosts are this machine, where a server without TLS gets the
    // account in clear text without asking; loopback addresses and
    // *.localhost unless set otherwise.
    void setLocalHostRule(std::function<bool(const QString &host)> isLocal);

    // The remote folder operations are taken against, relative to the login
    // folder unless it starts with "/"; empty for the login folder itself.
    QString currentFolder() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};
