#include "testimages.h"
#include "thumbnailcache.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

// Requests paths and waits until the workers' images are taken in.
void loadAll(ThumbnailCache &cache, const QStringList &paths)
{
    cache.request(paths);
    QTRY_VERIFY_WITH_TIMEOUT(!cache.busy(), 30000);
}

} // namespace

// Small images on purpose: larger ones make Qt convert on its own pool threads, whose
// hand-overs the race checker cannot see.
class TestThumbnailCache : public QObject
{
    Q_OBJECT

private slots:
    void cacheKeepsEachFileWithItsImage();
    void imageFollowsTheFile_data();
    void imageFollowsTheFile();
};

void TestThumbnailCache::cacheKeepsEachFileWithItsImage()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList paths;
    QList<QColor> colors;
    for (int i = 0; i < 12; ++i) {
        paths << dir.filePath(QStringLiteral("tile %1.png").arg(i));
        colors << QColor::fromHsv(i * 30, 255, 255);
        QVERIFY(writeSolidImage(paths.last(), QSize(200 + 8 * i, 100), colors.last()));
    }
    const QString broken = dir.filePath("broken.jpg");
    QVERIFY(writeNotAnImage(broken));

    // Decoded on several threads, each image must still land with its own file.
    ThumbnailCache cache(QSize(160, 90));
    QSignalSpy busy(&cache, &ThumbnailCache::busyChanged);
    QSignalSpy ready(&cache, &ThumbnailCache::imageReady);
    cache.request(paths + QStringList { broken, paths[3] });
    QTRY_VERIFY_WITH_TIMEOUT(!cache.busy(), 30000);
    // Each file once, the duplicate request left out; busy from the request to the last.
    QCOMPARE(ready.size(), paths.size() + 1);
    QCOMPARE(busy.size(), 2);
    QCOMPARE(busy[0][0].toBool(), true);
    QCOMPARE(busy[1][0].toBool(), false);
    for (int i = 0; i < paths.size(); ++i) {
        const QImage image = cache.image(paths[i]);
        QCOMPARE(image.width(), 160);
        QVERIFY2(nearColor(image.pixel(80, image.height() / 2), colors[i], 4), qPrintable(paths[i]));
    }
    QVERIFY(cache.image(broken).isNull());
}

void TestThumbnailCache::imageFollowsTheFile_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QColor>("expected");   // invalid: no image (the tile's placeholder)

    // The replacement has the same size in bytes; only the time tells it apart.
    QTest::newRow("rewritten, same size, later time") << "rewritten" << QColor(Qt::blue);
    QTest::newRow("rewritten, bigger") << "bigger" << QColor(Qt::blue);
    QTest::newRow("deleted") << "deleted" << QColor();
    QTest::newRow("replaced by a non-picture") << "broken" << QColor();
    // Same path, size and time: taken as unchanged and served from the cache.
    QTest::newRow("same identity") << "same identity" << QColor(Qt::red);
    QTest::newRow("untouched") << "untouched" << QColor(Qt::red);
}

void TestThumbnailCache::imageFollowsTheFile()
{
    QFETCH(QString, change);
    QFETCH(QColor, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("picture.bmp");
    const QDateTime then = QDateTime::currentDateTime().addSecs(-3600);
    QVERIFY(writeSolidImage(path, QSize(64, 36), Qt::red));
    setModified(path, then);
    ThumbnailCache cache(QSize(160, 90));
    loadAll(cache, { path });
    QVERIFY(nearColor(cache.image(path).pixel(4, 4), Qt::red, 4));

    if (change == "rewritten" || change == "same identity") {
        QVERIFY(writeSolidImage(path, QSize(64, 36), Qt::blue));
        setModified(path, change == "rewritten" ? then.addSecs(1) : then);
    } else if (change == "bigger") {
        QVERIFY(writeSolidImage(path, QSize(64, 40), Qt::blue));
    } else if (change == "deleted") {
        QVERIFY(QFile::remove(path));
    } else if (change == "broken") {
        QVERIFY(QFile::remove(path));
        QVERIFY(writeNotAnImage(path));
    }

    QCOMPARE(cache.holds(path), change == "same identity" || change == "untouched");
    loadAll(cache, { path });
    const QImage image = cache.image(path);
    if (!expected.isValid()) {
        QVERIFY(image.isNull());
        return;
    }
    QVERIFY(!image.isNull());
    QVERIFY(nearColor(image.pixel(4, 4), expected, 4));
}

QTEST_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
