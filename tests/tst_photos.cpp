// The photo name pattern and the photo folder's listing.
#include "photo_listing.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPhotos : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pattern_data();
    void pattern();
    void missingFolderListsNothing();
};

void TestPhotos::pattern_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("listed");
    QTest::newRow("one character after underscore") << "beach_1.jpg" << true;
    QTest::newRow("two characters") << "beach_12.jpg" << false;
    QTest::newRow("none") << "beach_.jpg" << false;
    QTest::newRow("upper-case extension") << "IMG_7.JPG" << true;
    QTest::newRow("underscore first") << "_a.jpg" << true;
    QTest::newRow("two underscores") << "a_b_c.jpg" << true;
    QTest::newRow("jpeg") << "beach_1.jpeg" << false;
    QTest::newRow("no underscore") << "beach1.jpg" << false;
    QTest::newRow("more after extension") << "beach_1.jpg.txt" << false;
    QTest::newRow("hidden") << ".beach_1.jpg" << false;
}

void TestPhotos::pattern()
{
    QFETCH(QString, name);
    QFETCH(bool, listed);
    QTemporaryDir dir;
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(listPhotoFiles(dir.path()), listed ? QStringList{name} : QStringList{});
}

void TestPhotos::missingFolderListsNothing()
{
    QTemporaryDir dir;
    QVERIFY(listPhotoFiles(dir.filePath(QStringLiteral("absent"))).isEmpty());
}

QTEST_APPLESS_MAIN(TestPhotos)
#include "tst_photos.moc"
