#include "testimages.h"
#include "thumbnailcache.h"

#include <QTemporaryDir>
#include <QtTest>

// Small images on purpose: larger ones make Qt convert on its own pool threads, whose
// hand-overs the race checker cannot see.
class TestThumbnailCache : public QObject
{
    Q_OBJECT

private slots:
    void cacheKeepsEachFileWithItsImage();
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
    cache.preload(paths + QStringList { broken, paths[3] });
    for (int i = 0; i < paths.size(); ++i) {
        const QImage image = cache.image(paths[i]);
        QCOMPARE(image.width(), 160);
        QVERIFY2(nearColor(image.pixel(80, image.height() / 2), colors[i], 4), qPrintable(paths[i]));
    }
    QVERIFY(cache.image(broken).isNull());

    // Held images are served even after the file is gone; a forgotten one is read again.
    QVERIFY(QFile::remove(paths[0]));
    QVERIFY(!cache.image(paths[0]).isNull());
    cache.forget(paths[0]);
    QVERIFY(cache.image(paths[0]).isNull());
}

QTEST_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
