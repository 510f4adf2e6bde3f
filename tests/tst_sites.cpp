// The site directory: slot bounds, the presets' forms, and the host-prefix rule.
#include "site_directory.h"

#include <QTest>

#include <stdexcept>

class TestSites : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void slotBounds_data();
    void slotBounds();
    void freshSlotsAreEmpty();
    void presetForms();
    void browseAddress_data();
    void browseAddress();
    void endpoint_data();
    void endpoint();
    void prefixedAddressHint_data();
    void prefixedAddressHint();
};

void TestSites::slotBounds_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<bool>("valid");
    QTest::newRow("-1") << -1 << false;
    QTest::newRow("0") << 0 << true;
    QTest::newRow("20") << 20 << true;
    QTest::newRow("21") << 21 << false;
    QTest::newRow("-32768") << -32768 << false;
}

void TestSites::slotBounds()
{
    QFETCH(int, slot);
    QFETCH(bool, valid);
    SiteDirectory sites;
    const auto accessors = {&SiteDirectory::SiteAddress, &SiteDirectory::SiteUser,
                            &SiteDirectory::SitePassword, &SiteDirectory::SiteLabel};
    for (auto accessor : accessors) {
        if (valid) {
            QVERIFY((sites.*accessor)(slot).isEmpty());
        } else {
            try {
                (sites.*accessor)(slot);
                QFAIL("slot outside 0 to 20 was accepted");
            } catch (const std::out_of_range &error) {
                QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("Subscript out of range"));
            }
        }
    }
    if (!valid)
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, sites.setSiteLabel(slot, QStringLiteral("x")));
}

void TestSites::freshSlotsAreEmpty()
{
    SiteDirectory sites;
    sites.loadPresets();
    for (int slot = 0; slot < SiteDirectory::SlotCount; ++slot) {
        const bool preset = slot < SiteDirectory::PresetCount;
        QCOMPARE(sites.SiteLabel(slot).isEmpty(), !preset);
        QCOMPARE(sites.SiteAddress(slot).isEmpty(), !preset);
        QCOMPARE(sites.SiteUser(slot).isEmpty(), !preset);
        QCOMPARE(sites.SitePassword(slot).isEmpty(), !preset);
    }
}

void TestSites::presetForms()
{
    // Which presets keep their address and which get "www." in front is
    // part of the directory's design; so are the lengths of the credentials.
    const bool keepsAddress[] = {false, false, false, false, true, false,
                                 true,  true,  true,  false, false};
    const auto &presets = SiteDirectory::presets();
    for (int slot = 0; slot < SiteDirectory::PresetCount; ++slot) {
        const auto &site = presets[slot];
        QCOMPARE(browseAddressFor(site.address) == site.address, keepsAddress[slot]);
        QVERIFY2(site.user.size() >= 6 && site.user.size() <= 16, qPrintable(site.user));
        QVERIFY2(site.password.size() >= 6 && site.password.size() <= 9, qPrintable(site.label));
        // Only reserved names, or loopback for the demo server.
        QVERIFY2(site.address.contains(QLatin1String(".example")) ||
                     site.address.contains(QLatin1String(".test")) ||
                     site.address.contains(QLatin1String(".localhost")),
                 qPrintable(site.address));
    }
    QVERIFY(presets[4].address.startsWith(QLatin1String("ftp.")));
    QVERIFY(presets[6].address.startsWith(QLatin1String("ftp.")));
    QCOMPARE(presets[5].user, presets[5].address);
    QCOMPARE(presets[8].address, QStringLiteral("demo.localhost:2121"));
}

void TestSites::browseAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("browseTo");
    QTest::addColumn<QString>("url");
    const auto row = [](const char *name, const QString &address, const QString &browseTo,
                        const QString &url = {}) {
        QTest::newRow(name) << address << browseTo
                            << (url.isNull() ? QStringLiteral("FTP://") + browseTo : url);
    };
    row("bare domain", "harbour.example", "www.harbour.example");
    row("ftp host", "ftp.harbour.example", "ftp.harbour.example");
    row("www already", "www.harbour.example", "www.harbour.example");
    row("four-letter label", "demo.localhost:2121", "demo.localhost:2121");
    row("three-letter first label", "abc.example", "abc.example");
    row("five-letter first label", "abcde.example", "www.abcde.example");
    row("three characters", "a.b", "www.a.b");
    row("four characters, dot last", "abc.", "abc.");
    row("dot third only", "ab.cdefg", "www.ab.cdefg");
    row("empty", "", "www.");
    // An address with a scheme is no host name: no "www.", and it is the URL.
    row("sftp, bare domain", "sftp://harbour.example", "sftp://harbour.example",
        "sftp://harbour.example");
    row("sftp, upper case", "SFTP://demo.localhost:2222", "SFTP://demo.localhost:2222",
        "SFTP://demo.localhost:2222");
    row("ftp scheme", "ftp://harbour.example", "ftp://harbour.example", "ftp://harbour.example");
    row("ftps, as sftp", "ftps://harbour.example", "ftps://harbour.example",
        "ftps://harbour.example");
    row("ftps, upper case and port", "FTPS://files.example:2990", "FTPS://files.example:2990",
        "FTPS://files.example:2990");
    row("ftp scheme, mixed case", "Ftp://abcde.example/pub", "Ftp://abcde.example/pub",
        "Ftp://abcde.example/pub");
    // Other schemes and near misses are host text as before.
    row("http is no site scheme", "http://a.example", "www.http://a.example");
    row("sftp without slashes", "sftp:harbour.example", "www.sftp:harbour.example");
    row("scheme alone", "sftp://", "sftp://", "sftp://");
}

void TestSites::browseAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, browseTo);
    QFETCH(QString, url);
    QCOMPARE(browseAddressFor(address), browseTo);
    QCOMPARE(transferUrlFor(browseAddressFor(address)), url);
}

void TestSites::endpoint_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("sftp");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("ftps"); // FTP with implicit TLS
    QTest::newRow("bare host") << "harbour.example" << false << "harbour.example" << 21 << false;
    QTest::newRow("host and port")
        << "demo.localhost:2121" << false << "demo.localhost" << 2121 << false;
    QTest::newRow("ftp scheme") << "ftp://ftp.harbour.example" << false << "ftp.harbour.example"
                                << 21 << false;
    QTest::newRow("sftp") << "sftp://harbour.example" << true << "harbour.example" << 22 << false;
    QTest::newRow("sftp with port")
        << "sftp://demo.localhost:2222" << true << "demo.localhost" << 2222 << false;
    QTest::newRow("sftp upper case, path")
        << "SFTP://127.0.0.1/upload" << true << "127.0.0.1" << 22 << false;
    QTest::newRow("sftp, ipv6 with port") << "sftp://[::1]:2200" << true << "::1" << 2200 << false;
    QTest::newRow("other scheme is host text")
        << "http://a.example" << false << "http" << 21 << false;
    QTest::newRow("ftps") << "ftps://harbour.example" << false << "harbour.example" << 990 << true;
    QTest::newRow("ftps upper case, port")
        << "FTPS://127.0.0.1:2990/in" << false << "127.0.0.1" << 2990 << true;
}

void TestSites::endpoint()
{
    QFETCH(QString, address);
    QFETCH(bool, sftp);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, ftps);
    const SiteEndpoint endpoint = siteEndpoint(address);
    QCOMPARE(endpoint.protocol == SiteProtocol::Sftp, sftp);
    QCOMPARE(endpoint.protocol == SiteProtocol::Ftps, ftps);
    QCOMPARE(endpoint.host, host);
    QCOMPARE(endpoint.port, port);
}

void TestSites::prefixedAddressHint_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("hint");
    QTest::newRow("IP address") << "10.255.255.1"
                                << "www.10.255.255.1 does not resolve: the site list put \"www.\" "
                                   "in front of 10.255.255.1. To use the address as typed, add the "
                                   "site as ftp://10.255.255.1";
    QTest::newRow("with a port") << "files:2121"
                                 << "www.files does not resolve: the site list put \"www.\" in "
                                    "front of files:2121. To use the address as typed, add the "
                                    "site as ftp://files:2121";
    QTest::newRow("left as typed") << "ftp.files.example" << QString();
    QTest::newRow("with a scheme") << "ftp://10.255.255.1" << QString();
    QTest::newRow("empty") << "" << QString();
}

void TestSites::prefixedAddressHint()
{
    QFETCH(QString, address);
    QFETCH(QString, hint);
    QCOMPARE(::prefixedAddressHint(address), hint);
}

QTEST_APPLESS_MAIN(TestSites)
#include "tst_sites.moc"
