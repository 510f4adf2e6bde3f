// The local-path rule: Windows-style paths on this machine.
#include "local_path.h"

#include <QDir>
#include <QTest>

class TestLocalPath : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mapped_data();
    void mapped();
};

void TestLocalPath::mapped_data()
{
    QTest::addColumn<QString>("windows");
    QTest::addColumn<QString>("local");
    const QString home = QDir::homePath();
    QTest::newRow("photo folder") << "C:\\Photos" << home + "/Photos";
    QTest::newRow("lower-case drive, file")
        << "c:\\tolvar\\vorltest.blm" << home + "/tolvar/vorltest.blm";
    QTest::newRow("other drive") << "D:\\Tolvar\\Help.chm" << home + "/Tolvar/Help.chm";
    QTest::newRow("forward slashes") << "c:/temp/Monday" << home + "/temp/Monday";
    QTest::newRow("drive alone") << "C:" << home;
    QTest::newRow("drive root") << "C:\\" << home;
    QTest::newRow("dot-dot stays on the drive")
        << "C:\\..\\..\\etc\\passwd" << home + "/etc/passwd";
    QTest::newRow("dot-dot inside the drive") << "C:\\a\\..\\b\\.\\c" << home + "/b/c";
    QTest::newRow("unix absolute") << "/tmp/x.txt"
                                   << "/tmp/x.txt";
    QTest::newRow("relative") << "docs\\a.txt"
                              << "docs/a.txt";
    QTest::newRow("accented letter is no drive") << "\u00e9:\\x"
                                                 << "\u00e9:/x";
    QTest::newRow("Greek letter is no drive") << "\u03a9:\\x"
                                              << "\u03a9:/x";
    QTest::newRow("digit is no drive") << "1:\\x"
                                       << "1:/x";
    QTest::newRow("colon first") << ":\\x"
                                 << ":/x";
}

void TestLocalPath::mapped()
{
    QFETCH(QString, windows);
    QFETCH(QString, local);
    QCOMPARE(localPath(windows), local);
}

QTEST_APPLESS_MAIN(TestLocalPath)
#include "tst_local_path.moc"
