#include "picturebox.h"
#include "sourcekinds.h"
#include "testimages.h"
#include "thumbnail.h"

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


    // Either nothing (the tile keeps its placeholder) or a tile-sized image; a bomb
    // is refused before any decoding.
    const QImage thumbnail = loadThumbnail(path, kTile);
    if (kind == "bomb")
        QVERIFY(thumbnail.isNull());
    if (!thumbnail.isNull())
        QVERIFY(thumbnail.width() <= kTile.width() && thumbnail.height() <= kTile.height());
}

QTEST_MAIN(TestThumbnail)
#include "tst_thumbnail.moc"
