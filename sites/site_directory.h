#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The console's directory of FTP and SFTP accounts: four parallel tables sharing one
// index, the site slot (0 to 20). Slots 0 to 10 hold the built-in presets,
// slots 11 to 20 are free for sites added while the program runs. Nothing is
// stored on disk.
class SiteDirectory final
{
public:
    static constexpr int SlotCount = 21;
    static constexpr int PresetCount = 11;

    // A site as the operator knows it.
    struct Site
    {
        QString label;
        QString address;
        QString user;
        QString password;
    };

    // All slots empty; loadPresets() fills slots 0 to 10.
    SiteDirectory() = default;

    void loadPresets();

    // Checked slot access: any slot outside 0 to 20 throws std::out_of_range
    // with the message "Subscript out of range".
    const QString &SiteAddress(int slot) const;
    const QString &SiteUser(int slot) const;
    const QString &SitePassword(int slot) const;
    const QString &SiteLabel(int slot) const;
    void store(int slot, const Site &site);
    void setSiteLabel(int slot, const QString &label);
    void setSiteAddress(int slot, const QString &address);
    void setSiteUser(int slot, const QString &user);
    void setSitePassword(int slot, const QString &password);

    static const std::array<Site, PresetCount> &presets();

private:
    static int checked(int slot);

    std::array<QString, SlotCount> m_address;
    std::array<QString, SlotCount> m_user;
    std::array<QString, SlotCount> m_password;
    std::array<QString, SlotCount> m_label;
};

// The protocol a site is reached with, named by the scheme its address starts
// with (any letter case): "sftp://" for SFTP; "ftps://" for FTP with TLS from
// the first byte (implicit TLS); "ftp://" or none for FTP.
enum class SiteProtocol { Ftp, Ftps, Sftp };

// Where a site address points: its protocol, host and port (the protocol's
// usual port, 21, 990 or 22, unless the address names one).
struct SiteEndpoint
{
    SiteProtocol protocol = SiteProtocol::Ftp;
    QString host;
    int port = 0;
};
SiteEndpoint siteEndpoint(const QString &siteAddress);

// Whether the address starts with a scheme this console speaks ("ftp://",
// "ftps://" or "sftp://", any letter case).
bool hasSiteScheme(const QString &siteAddress);

// The text the address box receives for a site address: an address with a
// scheme unchanged; without one, the address unchanged when its 4th or 5th
// character is a dot (it already starts with a host label such as "ftp." or
// "www."), otherwise "www." in front of it.
QString browseAddressFor(const QString &siteAddress);

// For an address that the host-prefix rule changed, a word on what the rule
// did, for when the changed name does not resolve, and how to give the
// address as typed (with a scheme); empty for one it left alone.
QString prefixedAddressHint(const QString &siteAddress);

// The transfer URL for the address box's text: the text as written when it
// starts with a scheme, otherwise exactly "FTP://" + text.
QString transferUrlFor(const QString &browseAddress);
