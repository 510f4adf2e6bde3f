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
    QTest::newRow("bare domain") << "harbour.example"
                                 << "www.harbour.example";
    QTest::newRow("ftp host") << "ftp.harbour.example"
                              << "ftp.harbour.example";
    QTest::newRow("www already") << "www.harbour.example"
                                 << "www.harbour.example";
    QTest::newRow("four-letter label") << "demo.localhost:2121"
                                       << "demo.localhost:2121";
    QTest::newRow("three-letter first label") << "abc.example"
                                              << "abc.example";
    QTest::newRow("five-letter first label") << "abcde.example"
                                             << "www.abcde.example";
    QTest::newRow("three characters") << "a.b"
                                      << "www.a.b";
    QTest::newRow("four characters, dot last") << "abc."
                                               << "abc.";
    QTest::newRow("dot third only") << "ab.cdefg"
                                    << "www.ab.cdefg";
    QTest::newRow("empty") << ""
                           << "www.";
}

void TestSites::browseAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, browseTo);
    QCOMPARE(browseAddressFor(address), browseTo);
    QCOMPARE(ftpUrlFor(browseAddressFor(address)), QStringLiteral("FTP://") + browseTo);
}

QTEST_APPLESS_MAIN(TestSites)
#include "tst_sites.moc"
