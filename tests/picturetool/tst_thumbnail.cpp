#include "hostilefiles.h"
#include "picturebox.h"
#include "sourcekinds.h"
#include "testimages.h"
#include "thumbnail.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QSize kTile(160, 90);

QRect drawnArea(QImage image)
{
    PictureBox box;
    box.setImage(image);
    return boundsOfPixelsNot(box.grab().toImage().convertToFormat(QImage::Format_RGB32),
                             Qt::white);
}

} // namespace

class TestThumbnail : public QObject
{
    Q_OBJECT

private slots:
    void tileShowsTheFullImageFitted_data();
    void tileShowsTheFullImageFitted();
    void badFiles_data();
    void badFiles();
    void embeddedThumbnail_data();
    void embeddedThumbnail();
};

void TestThumbnail::tileShowsTheFullImageFitted_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("decoded");

    QTest::newRow("camera photo 6000x4000") << "photo.jpg" << QSize(6000, 4000) << QSize(135, 90);
    QTest::newRow("4000x3000") << "photo.jpg" << QSize(4000, 3000) << QSize(120, 90);
    QTest::newRow("full HD") << "photo.jpg" << QSize(1920, 1080) << QSize(160, 90);
    QTest::newRow("square 1000") << "square.png" << QSize(1000, 1000) << QSize(90, 90);
    QTest::newRow("odd 1921x1081") << "odd.bmp" << QSize(1921, 1081) << QSize(160, 90);
    QTest::newRow("portrait 333x777") << "tall.png" << QSize(333, 777) << QSize(39, 90);
    QTest::newRow("panorama 8000x450") << "strip.png" << QSize(8000, 450) << QSize(160, 9);
    QTest::newRow("smaller than the tile") << "small.png" << QSize(100, 50) << QSize(100, 50);
    QTest::newRow("one pixel") << "dot.bmp" << QSize(1, 1) << QSize(1, 1);
    // Stored 3000 x 2000 with an EXIF block that turns it a quarter: shown upright.
    QTest::newRow("phone photo turned by EXIF") << "turned.jpg" << QSize(3000, 2000) << QSize(60, 90);
}

void TestThumbnail::tileShowsTheFullImageFitted()
{
    QFETCH(QString, fileName);
    QFETCH(QSize, size);
    QFETCH(QSize, decoded);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(fileName);
    if (fileName == "turned.jpg")
        QVERIFY(writeSource(path, SourceKind::JpegExif, size, 1, 6));
    else
        QVERIFY(writeSolidImage(path, size, Qt::darkBlue));

    const QImage thumbnail = loadThumbnail(path, kTile);
    QVERIFY(!thumbnail.isNull());
    QCOMPARE(thumbnail.size(), decoded);
    QImageReader upright(path);
    upright.setAutoTransform(true);
    QCOMPARE(drawnArea(thumbnail), drawnArea(upright.read()));
}

void TestThumbnail::badFiles_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("not an image") << "text";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("truncated JPEG") << "truncated";
    QTest::newRow("truncated JPEG claiming 20000x20000") << "huge";
    QTest::newRow("decompression bomb, 60000x60000") << "bomb";
    QTest::newRow("progressive bomb, 17320x17320") << "progressive bomb";
    QTest::newRow("missing file") << "missing";
}

void TestThumbnail::badFiles()
{
    QFETCH(QString, kind);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("bad.jpg");
    if (kind == "text")
        QVERIFY(writeNotAnImage(path));
    if (kind == "empty")
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    if (kind == "truncated")
        QVERIFY(writeTruncatedJpeg(path, QSize(64, 64)));
    if (kind == "huge")
        QVERIFY(writeTruncatedJpeg(path, QSize(20000, 20000)));
    if (kind == "bomb")
        QVERIFY(writeTruncatedJpeg(path, QSize(60000, 60000)));
    if (kind == "progressive bomb")
        QVERIFY(writeProgressiveBomb(path, QSize(17320, 17320)));


    // Either nothing (the tile keeps its placeholder) or a tile-sized image; a bomb
    // is refused before any decoding.
    const QImage thumbnail = loadThumbnail(path, kTile);
    if (kind.contains("bomb"))
        QVERIFY(thumbnail.isNull());
    if (!thumbnail.isNull())
        QVERIFY(thumbnail.width() <= kTile.width() && thumbnail.height() <= kTile.height());
}

void TestThumbnail::embeddedThumbnail_data()
{
    QTest::addColumn<QSize>("photo");        // as stored
    QTest::addColumn<QSize>("embedded");     // as stored; empty for none
    QTest::addColumn<int>("orientation");    // EXIF, 0 for none
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QSize>("shown");

    QTest::newRow("camera photo, 160x107 thumbnail") << QSize(6000, 4000) << QSize(160, 107) << 0 << true << QSize(135, 90);
    QTest::newRow("thumbnail just the fitted size") << QSize(6000, 4000) << QSize(135, 90) << 1 << true << QSize(135, 90);
    QTest::newRow("turned by EXIF: upright") << QSize(3000, 2000) << QSize(160, 107) << 6 << true << QSize(60, 90);
    QTest::newRow("turned the other way") << QSize(3000, 2000) << QSize(160, 107) << 8 << true << QSize(60, 90);
    QTest::newRow("smaller than the tile: decoded") << QSize(6000, 4000) << QSize(80, 53) << 0 << false << QSize(135, 90);
    QTest::newRow("bars added (4:3 of a 3:2 photo): decoded") << QSize(6000, 4000) << QSize(160, 120) << 0 << false << QSize(135, 90);
    QTest::newRow("none: decoded") << QSize(6000, 4000) << QSize() << 0 << false << QSize(135, 90);
}

void TestThumbnail::embeddedThumbnail()
{
    QFETCH(QSize, photo);
    QFETCH(QSize, embedded);
    QFETCH(int, orientation);
    QFETCH(bool, taken);
    QFETCH(QSize, shown);

    // The photo is blue; its thumbnail red on its stored left half, green on its right,
    // so that the tile tells which was shown and which way up.
    QImage picture(photo, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QByteArray photoBytes;
    QBuffer photoBuffer(&photoBytes);
    QVERIFY(photoBuffer.open(QIODevice::WriteOnly) && picture.save(&photoBuffer, "JPG", 90));
    QByteArray thumbnailBytes;
    if (embedded.isValid()) {
        QImage small(embedded, QImage::Format_RGB32);
        small.fill(Qt::green);
        for (int y = 0; y < small.height(); ++y)
            for (int x = 0; x < small.width() / 2; ++x)
                small.setPixel(x, y, qRgb(255, 0, 0));
        QBuffer buffer(&thumbnailBytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && small.save(&buffer, "JPG", 95));
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("photo.jpg");
    QFile file(path);
    const QByteArray bytes = withExifThumbnail(photoBytes, thumbnailBytes, orientation);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    const QImage thumbnail = loadThumbnail(path, kTile);
    QCOMPARE(thumbnail.size(), shown);
    // Stored left is upright top for orientation 6, bottom for 8; each point is taken
    // where the picture left as stored would show the other colour.
    const int right = shown.width() - 6;
    const int bottom = shown.height() - 6;
    const QPoint first = orientation == 6 ? QPoint(right, 5)
            : orientation == 8            ? QPoint(right, bottom)
                                          : QPoint(5, shown.height() / 2);
    const QPoint second = orientation == 6 ? QPoint(5, bottom)
            : orientation == 8             ? QPoint(5, 5)
                                           : QPoint(right, shown.height() / 2);
    if (taken) {
        QVERIFY2(nearColor(thumbnail.pixel(first), Qt::red), qPrintable(QColor(thumbnail.pixel(first)).name()));
        QVERIFY2(nearColor(thumbnail.pixel(second), Qt::green), qPrintable(QColor(thumbnail.pixel(second)).name()));
    } else {
        QVERIFY(nearColor(thumbnail.pixel(first), Qt::blue));
        QVERIFY(nearColor(thumbnail.pixel(second), Qt::blue));
    }
}

QTEST_MAIN(TestThumbnail)
#include "tst_thumbnail.moc"
