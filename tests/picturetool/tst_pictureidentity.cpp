#include "jpegwriter.h"
#include "renditions.h"
#include "sampledjpeg.h"
#include "sourcekinds.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(SourceKind)

namespace {

QByteArray encoded(const QImage &image)
{
    QByteArray jpeg;
    if (!encodeJpeg(85, unsigned(image.width()), unsigned(image.height()), image.constBits(), &jpeg))
        return {};
    return jpeg;
}

bool sampledDecoderTakes(SourceKind kind, const QSize &size)
{
    return sourceSuffix(kind) == QLatin1String("jpg") && std::min(size.width(), size.height()) >= 5;
}

} // namespace

// The export decodes JPEG sources straight to the rendition size; what it writes must
// be, byte for byte, what loading, converting and scaling the whole picture gives.
class TestPictureIdentity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameBytesAsThePlainPath_data();
    void sameBytesAsThePlainPath();

private:
    QTemporaryDir m_dir;
};

void TestPictureIdentity::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestPictureIdentity::sameBytesAsThePlainPath_data()
{
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("orientation");

    for (const SourceCase &source : allSourceCases())
        QTest::newRow(qPrintable(source.name)) << source.kind << source.size << source.orientation;
}

void TestPictureIdentity::sameBytesAsThePlainPath()
{
    QFETCH(SourceKind, kind);
    QFETCH(QSize, size);
    QFETCH(int, orientation);

    static unsigned seed = 0;
    const QString source = m_dir.filePath(QStringLiteral("source%1.%2").arg(++seed).arg(sourceSuffix(kind)));
    QVERIFY(writeSource(source, kind, size, seed, orientation));

    // The sampled decoder must take every JPEG it is meant for; otherwise this test
    // would only compare the plain path with itself.
    QFile file(source);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const SourceHeader header = readSourceHeader(source);
    const JpegDecode sampled = decodeJpegSampled(reinterpret_cast<const uchar *>(bytes.constData()),
                                                 bytes.size(), QSize(1920, 1080), JpegPick::Scaled,
                                                 header.transformation, std::chrono::hours(1));
    QCOMPARE(sampled.status == JpegDecode::Decoded, sampledDecoderTakes(kind, size));
    QVERIFY(sampled.damage.isEmpty());

    const QImage plain = pictureFullSizePlain(source);
    QVERIFY(!plain.isNull());
    QCOMPARE(plain.size(), QSize(1920, 1080));
    // A photo turned by its EXIF block is exported upright, not as stored.
    if (orientation > 1) {
        QImageReader stored(source);
        stored.setAutoTransform(false);
        QVERIFY(plain != stored.read().convertToFormat(QImage::Format_RGB888)
                                 .scaled(1920, 1080, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    }
    QVERIFY2(pictureFullSize(source) == plain, "the 1920x1080 pixels differ");

    const Rendering rendering = renderPicture(0, source, m_dir.path() + QLatin1Char('/'));
    QCOMPARE(rendering.status, RenditionResult::Written);
    QCOMPARE(rendering.files.size(), 2);
    QCOMPARE(rendering.files[0].jpeg, encoded(plain));
    QCOMPARE(rendering.files[1].jpeg,
             encoded(plain.scaled(320, 180, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
}

QTEST_GUILESS_MAIN(TestPictureIdentity)
#include "tst_pictureidentity.moc"
