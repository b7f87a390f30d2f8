#include "jpegfileinfo.h"
#include "jpegwriter.h"
#include "renditions.h"
#include "sourcekinds.h"
#include "testimages.h"

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList entries(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
    names.sort();
    return names;
}

// Every file the tool writes is a baseline, quality-85, 4:4:4 JPEG of its size.
void verifyOutput(const QString &path, const QSize &size)
{
    const JpegFileInfo info(path);
    QVERIFY2(info.isValid(), qPrintable(path));
    QCOMPARE(info.frameMarkers, QVector<int>() << 0xFFC0);
    QCOMPARE(QSize(info.width, info.height), size);
    QCOMPARE(info.components.size(), 3);
    for (const JpegFileInfo::Component &component : info.components)
        QCOMPARE(QSize(component.hSampling, component.vSampling), QSize(1, 1));
    QCOMPARE(info.quantTables, libjpegQuantTables(85));
    QCOMPARE(info.huffmanTables, standardHuffmanTables());
}

// Four colour blocks split at (splitX, splitY).
QImage quadrants(const QSize &size, int splitX, int splitY)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, splitX, splitY, Qt::red);
    painter.fillRect(splitX, 0, size.width() - splitX, splitY, Qt::green);
    painter.fillRect(0, splitY, splitX, size.height() - splitY, Qt::blue);
    painter.fillRect(splitX, splitY, size.width() - splitX, size.height() - splitY, Qt::yellow);
    return image;
}

// Checks the four blocks of an image split at (splitX, splitY), a margin away from
// each edge so JPEG ringing does not count.
void verifyQuadrants(const QImage &image, int splitX, int splitY)
{
    const int m = 4;
    const int right = image.width() - 1 - m;
    const int bottom = image.height() - 1 - m;
    QVERIFY(nearColor(image.pixel(m, m), Qt::red));
    QVERIFY(nearColor(image.pixel(splitX - m, splitY - m), Qt::red));
    QVERIFY(nearColor(image.pixel(splitX + m, m), Qt::green));
    QVERIFY(nearColor(image.pixel(right, splitY - m), Qt::green));
    QVERIFY(nearColor(image.pixel(m, splitY + m), Qt::blue));
    QVERIFY(nearColor(image.pixel(splitX - m, bottom), Qt::blue));
    QVERIFY(nearColor(image.pixel(splitX + m, splitY + m), Qt::yellow));
    QVERIFY(nearColor(image.pixel(right, bottom), Qt::yellow));
}

// A one-pixel checkerboard: every neighbour of a pixel has the other colour, so taking
// a neighbour instead of the right source pixel flips the colour.
QImage checkerboard(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = (x + y) % 2 ? qRgb(230, 210, 40) : qRgb(20, 40, 160);
    }
    return image;
}

// Mean absolute difference per channel, 0..255.
double meanDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    if (x.size() != y.size())
        return 255;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar *p = x.constScanLine(row);
        const uchar *q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i)
            sum += std::abs(p[i] - q[i]);
    }
    return sum / (3.0 * x.width() * x.height());
}

QByteArray encoded(const QImage &image)
{
    QByteArray jpeg;
    encodeJpeg(85, unsigned(image.width()), unsigned(image.height()), image.constBits(), &jpeg);
    return jpeg;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage blackCanvas()
{
    QImage canvas(480, 540, QImage::Format_RGB888);
    canvas.fill(Qt::black);
    return canvas;
}

QImage nearest(const QImage &image, const QSize &size)
{
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

class TestRenditions : public QObject
{
    Q_OBJECT

private slots:
    void pictureFileNames_data();
    void pictureFileNames();
    void pictureStretchedToSixteenByNine_data();
    void pictureStretchedToSixteenByNine();
    void renditionPixelsFollowTheSteps_data();
    void renditionPixelsFollowTheSteps();
    void pictureThatDoesNotDecodeIsSkipped();
    void truncatedPictureLeavesNoPartialFile();
    void logo_data();
    void logo();
    void writeFailureNamesTheFile();
    void transparencyLaidOverBlack_data();
    void transparencyLaidOverBlack();
};

void TestRenditions::pictureFileNames_data()
{
    QTest::addColumn<QString>("subdirectory");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("first picture") << "" << 0
                                   << QStringList { "1_1920x1080.jpg", "1_320x180.jpg" };
    QTest::newRow("twentieth picture") << "" << 19
                                       << QStringList { "20_1920x1080.jpg", "20_320x180.jpg" };
    QTest::newRow("directory with spaces and non-ASCII") << "Bilder für das Gerät 写真" << 1
                                                         << QStringList { "2_1920x1080.jpg", "2_320x180.jpg" };
    // Longer than 500 bytes in all: the name must arrive whole, not cut to a buffer.
    QStringList nested;
    for (int i = 0; i < 10; ++i)
        nested << QStringLiteral("level %1 ").arg(i) + QString(52, QChar(0x00E9));
    QTest::newRow("path over 500 bytes") << nested.join('/') << 4
                                         << QStringList { "5_1920x1080.jpg", "5_320x180.jpg" };
}

void TestRenditions::pictureFileNames()
{
    QFETCH(QString, subdirectory);
    QFETCH(int, index);
    QFETCH(QStringList, expected);

    QTemporaryDir sources;
    QTemporaryDir out;
    QVERIFY(sources.isValid() && out.isValid());
    const QString source = sources.filePath("photo one.png");
    QVERIFY(writeSolidImage(source, QSize(640, 360), Qt::darkGreen));
    QVERIFY(QDir(out.path()).mkpath(subdirectory.isEmpty() ? "." : subdirectory));
    const QString target = QDir(out.path()).filePath(subdirectory.isEmpty() ? "." : subdirectory);

    const RenditionResult result = savePictureFiles(index, source, target + "/");
    QCOMPARE(result.status, RenditionResult::Written);
    QStringList sorted = expected;
    sorted.sort();
    QCOMPARE(entries(target), sorted);
    verifyOutput(QDir(target).filePath(expected[0]), QSize(1920, 1080));
    verifyOutput(QDir(target).filePath(expected[1]), QSize(320, 180));
}

void TestRenditions::pictureStretchedToSixteenByNine_data()
{
    QTest::addColumn<QSize>("sourceSize");

    QTest::newRow("4:3 stretched") << QSize(400, 300);
    QTest::newRow("portrait stretched") << QSize(300, 600);
    QTest::newRow("larger than the output") << QSize(4000, 3000);
}

void TestRenditions::pictureStretchedToSixteenByNine()
{
    QFETCH(QSize, sourceSize);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("source.png");
    QVERIFY(quadrants(sourceSize, sourceSize.width() / 2, sourceSize.height() / 4).save(source));

    QCOMPARE(savePictureFiles(0, source, dir.path() + "/").status, RenditionResult::Written);

    // Splits at half the width and a quarter of the height land at the same fractions
    // of 16:9 whatever the source's shape: the picture is stretched, not cropped.
    const QImage full(dir.filePath("1_1920x1080.jpg"));
    QCOMPARE(full.size(), QSize(1920, 1080));
    verifyQuadrants(full, 960, 270);
    const QImage preview(dir.filePath("1_320x180.jpg"));
    QCOMPARE(preview.size(), QSize(320, 180));
    verifyQuadrants(preview, 160, 45);
}

void TestRenditions::renditionPixelsFollowTheSteps_data()
{
    QTest::addColumn<QSize>("sourceSize");
    QTest::addColumn<QString>("format");

    QTest::newRow("smaller than the rendition, PNG") << QSize(1001, 563) << "png";
    QTest::newRow("larger than the rendition, PNG") << QSize(2999, 1687) << "png";
    QTest::newRow("larger than the rendition, BMP") << QSize(2401, 1351) << "bmp";
}

// The files decoded back must be near the steps done here: RGB888, nearest-neighbour to
// 1920 x 1080, then 320 x 180 from that image. A checkerboard makes other samplings
// (smooth scaling, or the preview taken from the source) plainly different.
void TestRenditions::renditionPixelsFollowTheSteps()
{
    QFETCH(QSize, sourceSize);
    QFETCH(QString, format);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("checkerboard." + format);
    QVERIFY(checkerboard(sourceSize).save(source));
    QCOMPARE(savePictureFiles(0, source, dir.path() + "/").status, RenditionResult::Written);

    const QImage rgb = QImage(source).convertToFormat(QImage::Format_RGB888);
    const QImage full = nearest(rgb, QSize(1920, 1080));
    const QImage preview = nearest(full, QSize(320, 180));
    const QImage smoothFull = rgb.scaled(1920, 1080, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage previewFromSource = nearest(rgb, QSize(320, 180));

    const QImage writtenFull(dir.filePath("1_1920x1080.jpg"));
    const QImage writtenPreview(dir.filePath("1_320x180.jpg"));
    const double fullError = meanDifference(writtenFull, full);
    const double previewError = meanDifference(writtenPreview, preview);
    QVERIFY2(fullError < 20, qPrintable(QString::number(fullError)));
    QVERIFY2(previewError < 20, qPrintable(QString::number(previewError)));
    // The wrong steps are much further away, or this test could not tell them apart.
    QVERIFY2(meanDifference(writtenFull, smoothFull) > 2 * fullError + 10,
             qPrintable(QString::number(meanDifference(writtenFull, smoothFull))));
    QVERIFY2(meanDifference(writtenPreview, previewFromSource) > 2 * previewError + 10,
             qPrintable(QString::number(meanDifference(writtenPreview, previewFromSource))));
}

void TestRenditions::pictureThatDoesNotDecodeIsSkipped()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("notes.jpg");
    QVERIFY(writeNotAnImage(source));

    const RenditionResult result = savePictureFiles(0, source, dir.path() + "/");
    QCOMPARE(result.status, RenditionResult::Skipped);
    QCOMPARE(result.failedPath, source);
    QCOMPARE(entries(dir.path()), QStringList() << "notes.jpg");
}

void TestRenditions::truncatedPictureLeavesNoPartialFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("cut.jpg");
    QVERIFY(writeTruncatedJpeg(source, QSize(640, 480)));

    // The decoder fills in the missing rows; the outputs are whole files, and the
    // damage is said.
    const RenditionResult result = savePictureFiles(0, source, dir.path() + "/");
    QCOMPARE(result.status, RenditionResult::Written);
    QVERIFY2(result.warning.contains("premature end", Qt::CaseInsensitive), qPrintable(result.warning));
    verifyOutput(dir.filePath("1_1920x1080.jpg"), QSize(1920, 1080));
    verifyOutput(dir.filePath("1_320x180.jpg"), QSize(320, 180));
}

void TestRenditions::logo_data()
{
    QTest::addColumn<QSize>("sourceSize");   // invalid: a file that is no picture
    QTest::addColumn<int>("orientation");    // EXIF orientation of a JPEG, 0 for a PNG
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expectedName");

    QTest::newRow("100x100 on black") << QSize(100, 100) << 0 << 2 << "Logo3_480x540.jpg";
    QTest::newRow("wider than the canvas, cropped") << QSize(1000, 300) << 0 << 0 << "Logo1_480x540.jpg";
    QTest::newRow("larger than the canvas, cropped") << QSize(1000, 1000) << 0 << 19 << "Logo20_480x540.jpg";
    QTest::newRow("one pixel") << QSize(1, 1) << 0 << 0 << "Logo1_480x540.jpg";
    QTest::newRow("does not decode, all black") << QSize() << 0 << 0 << "Logo1_480x540.jpg";
    // Wider than the canvas and less tall: a copy wider than the canvas would spill
    // into the row below the logo.
    QTest::newRow("wider than the canvas, less tall") << QSize(620, 200) << 0 << 0 << "Logo1_480x540.jpg";
    // A phone photo is cut from its upright picture, as its thumbnail shows it.
    for (int orientation = 2; orientation <= 8; ++orientation)
        QTest::addRow("EXIF orientation %d", orientation) << QSize(700, 500) << orientation << 0 << "Logo1_480x540.jpg";
}

void TestRenditions::logo()
{
    QFETCH(QSize, sourceSize);
    QFETCH(int, orientation);
    QFETCH(int, index);
    QFETCH(QString, expectedName);

    QTemporaryDir sources;
    QTemporaryDir out;
    QVERIFY(sources.isValid() && out.isValid());
    const QString source = sources.filePath(orientation ? "logo.jpg" : "logo.png");
    if (orientation)
        QVERIFY(writeSource(source, SourceKind::JpegExif, sourceSize, 3, orientation));
    else if (sourceSize.isValid())
        QVERIFY(quadrants(sourceSize, sourceSize.width() / 2, sourceSize.height() / 2).save(source));
    else
        QVERIFY(writeNotAnImage(source));

    QCOMPARE(saveLogoFile(index, source, out.path() + "/").status, RenditionResult::Written);
    QCOMPARE(entries(out.path()), QStringList() << expectedName);
    const QString path = out.filePath(expectedName);
    verifyOutput(path, QSize(480, 540));

    // Exactly the upright source's top-left corner on black: copying past the image
    // fills with black, which is what the canvas must hold beside and below the logo.
    QImageReader reader(source);
    reader.setAutoTransform(true);
    const QImage upright = reader.read();
    if (sourceSize.isValid())
        QCOMPARE(upright.size(), orientation >= 5 ? sourceSize.transposed() : sourceSize);
    const QImage corner = sourceSize.isValid()
            ? upright.convertToFormat(QImage::Format_RGB888).copy(0, 0, 480, 540)
            : blackCanvas();
    QCOMPARE(contents(path), encoded(corner));
}

void TestRenditions::writeFailureNamesTheFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("photo.png");
    QVERIFY(writeSolidImage(source, QSize(64, 36), Qt::gray));
    const QString prefix = dir.filePath("vanished") + "/";

    const RenditionResult picture = savePictureFiles(0, source, prefix);
    QCOMPARE(picture.status, RenditionResult::WriteFailed);
    QCOMPARE(picture.failedPath, prefix + "1_1920x1080.jpg");
    QVERIFY(!picture.reason.isEmpty());

    const RenditionResult logo = saveLogoFile(4, source, prefix);
    QCOMPARE(logo.status, RenditionResult::WriteFailed);
    QCOMPARE(logo.failedPath, prefix + "Logo5_480x540.jpg");
    QVERIFY(!logo.reason.isEmpty());
    QCOMPARE(entries(dir.path()), QStringList() << "photo.png");
}

void TestRenditions::transparencyLaidOverBlack_data()
{
    QTest::addColumn<bool>("logo");
    QTest::addColumn<QPoint>("halfRed");       // where the output shows the half-transparent red
    QTest::addColumn<QPoint>("transparent");   // where it shows the transparent part

    // The source is 480 x 540: its top half red at half opacity, its bottom half green
    // under full transparency.
    QTest::newRow("picture, stretched") << false << QPoint(960, 270) << QPoint(960, 810);
    QTest::newRow("logo, copied") << true << QPoint(240, 135) << QPoint(240, 405);
}

void TestRenditions::transparencyLaidOverBlack()
{
    QFETCH(bool, logo);
    QFETCH(QPoint, halfRed);
    QFETCH(QPoint, transparent);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QImage source(480, 540, QImage::Format_ARGB32);
    source.fill(qRgba(0, 255, 0, 0));
    for (int y = 0; y < 270; ++y)
        for (int x = 0; x < 480; ++x)
            source.setPixel(x, y, qRgba(255, 0, 0, 128));
    const QString path = dir.filePath("logo.png");
    QVERIFY(source.save(path));

    const QString prefix = dir.path() + QLatin1Char('/');
    const Rendering rendering = logo ? renderLogo(0, path, prefix) : renderPicture(0, path, prefix);
    QCOMPARE(rendering.status, RenditionResult::Written);
    const QImage written = QImage::fromData(rendering.files.first().jpeg);
    QVERIFY(!written.isNull());
    QVERIFY2(nearColor(written.pixel(halfRed), QColor(128, 0, 0), 6),
             qPrintable(QColor(written.pixel(halfRed)).name()));
    QVERIFY2(nearColor(written.pixel(transparent), Qt::black, 6),
             qPrintable(QColor(written.pixel(transparent)).name()));
}

QTEST_MAIN(TestRenditions)
#include "tst_renditions.moc"
