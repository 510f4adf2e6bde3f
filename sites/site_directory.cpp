#include "site_directory.h"

#include <QUrl>

#include <stdexcept>

namespace {

// The schemes a site address may start with, and the protocol each names.
struct SchemeRow
{
    QLatin1String prefix;
    SiteProtocol protocol;
    int defaultPort;
};
constexpr SchemeRow Schemes[] = {
    {QLatin1String("ftp://"), SiteProtocol::Ftp, 21},
    {QLatin1String("ftps://"), SiteProtocol::Ftps, 990},
    {QLatin1String("sftp://"), SiteProtocol::Sftp, 22},
};

const SchemeRow *schemeOf(const QString &siteAddress)
{
    for (const SchemeRow &row : Schemes)
        if (siteAddress.startsWith(row.prefix, Qt::CaseInsensitive))
            return &row;
    return nullptr;
}

} // namespace

const std::array<SiteDirectory::Site, SiteDirectory::PresetCount> &SiteDirectory::presets()
{
    // Reserved example names only (RFC 2606 and RFC 6761): none of these is a
    // real company or server. Slot 8 is the local demo server that
    // scripts/run starts on loopback.
    //   slots 0-3, 5, 9, 10: bare domain, "www." goes in front
    //   slots 4, 6: "ftp." host; slot 7: another three-letter label
    //   slot 8: four-character label; slot 5: account name equals the address
    // clang-format off
    static const std::array<Site, PresetCount> table{{
        // label                 address                      user             password
        {"Harbour Books",       "harbourbooks.example",      "hb_upload",     "tide4872"},  // 0
        {"Lantern Studio",      "lanternstudio.example",     "lantern01",     "glow2291"},  // 1
        {"Meadow Garden Club",  "meadowclub.example",        "meadow_web",    "clover55"},  // 2
        {"Orchard Press",       "orchardpress.test",         "orchardftp",    "apple7734"},  // 3
        {"Quarry Museum",       "ftp.quarrymuseum.example",  "quarry_site",   "granite9"},  // 4
        {"Riverside Choir",     "choir.example",             "choir.example", "alto8812"},  // 5
        {"Summit Cycling",      "ftp.summitcycling.test",    "summit_admin",  "gears461"},  // 6
        {"Willow Kennels",      "web.willowkennels.example", "willow_k",      "paws3390"},  // 7
        {"Local demo server",   "demo.localhost:2121",       "demouser",      "demo1234"},  // 8
        {"Bramble Bakery",      "bramblebakery.example",     "bramble_ftp",   "crust5521"},  // 9
        {"Copper Kettle Cafe",  "copperkettle.example.com",  "kettle_web",    "brew80417"},  // 10
    }};
    // clang-format on
    return table;
}

void SiteDirectory::loadPresets()
{
    const auto &rows = presets();
    for (int slot = 0; slot < PresetCount; ++slot)
        store(slot, rows[slot]);
}

int SiteDirectory::checked(int slot)
{
    if (slot < 0 || slot >= SlotCount)
        throw std::out_of_range("Subscript out of range");
    return slot;
}

const QString &SiteDirectory::SiteAddress(int slot) const
{
    return m_address[checked(slot)];
}
const QString &SiteDirectory::SiteUser(int slot) const
{
    return m_user[checked(slot)];
}
const QString &SiteDirectory::SitePassword(int slot) const
{
    return m_password[checked(slot)];
}
const QString &SiteDirectory::SiteLabel(int slot) const
{
    return m_label[checked(slot)];
}
void SiteDirectory::setSiteLabel(int slot, const QString &label)
{
    m_label[checked(slot)] = label;
}
void SiteDirectory::setSiteAddress(int slot, const QString &address)
{
    m_address[checked(slot)] = address;
}
void SiteDirectory::setSiteUser(int slot, const QString &user)
{
    m_user[checked(slot)] = user;
}
void SiteDirectory::setSitePassword(int slot, const QString &password)
{
    m_password[checked(slot)] = password;
}

void SiteDirectory::store(int slot, const Site &site)
{
    setSiteLabel(slot, site.label);
    setSiteAddress(slot, site.address);
    setSiteUser(slot, site.user);
    setSitePassword(slot, site.password);
}

bool hasSiteScheme(const QString &siteAddress)
{
    return schemeOf(siteAddress) != nullptr;
}

SiteEndpoint siteEndpoint(const QString &siteAddress)
{
    const SchemeRow *scheme = schemeOf(siteAddress);
    const SchemeRow &row = scheme ? *scheme : Schemes[0];
    // Without a scheme the address is a host and perhaps a port, as for FTP.
    const QUrl url(scheme ? siteAddress : row.prefix + siteAddress);
    return {row.protocol, url.host(), url.port(row.defaultPort)};
}

QString browseAddressFor(const QString &siteAddress)
{
    if (hasSiteScheme(siteAddress))
        return siteAddress;
    const auto dotAt = [&](int position) {
        return siteAddress.size() >= position && siteAddress.at(position - 1) == QLatin1Char('.');
    };
    if (dotAt(4) || dotAt(5))
        return siteAddress;
    return QStringLiteral("www.") + siteAddress;
}

QString prefixedAddressHint(const QString &siteAddress)
{
    const QString changed = browseAddressFor(siteAddress);
    if (siteAddress.isEmpty() || changed == siteAddress)
        return {};
    return QStringLiteral("%1 does not resolve: the site list put \"www.\" in front of %2. To "
                          "use the address as typed, add the site as ftp://%2")
        .arg(siteEndpoint(changed).host, siteAddress);
}

QString transferUrlFor(const QString &browseAddress)
{
    if (hasSiteScheme(browseAddress))
        return browseAddress;
    return QStringLiteral("FTP://") + browseAddress;
}
