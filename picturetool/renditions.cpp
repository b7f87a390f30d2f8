#include "renditions.h"

#include "jpegwriter.h"

#include <QImage>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kQuality = 85;

// The output widths (1920, 320, 480) make RGB888 rows a multiple of four bytes, so the
// image's scanlines are back to back, as the writer wants them.
RenditionResult writeImage(const QImage &image, const QString &path)
{
    RenditionResult result;
    const QByteArray narrowPath = path.toUtf8();
    QString reason;
    if (!writeJpegFile(narrowPath.constData(), kQuality, unsigned(image.width()),
                       unsigned(image.height()), image.constBits(), &reason)) {
        result.status = RenditionResult::WriteFailed;
        result.failedPath = path;
        result.reason = reason;
    }
    return result;
}

} // namespace

RenditionResult savePictureFiles(int index, const QString &sourcePath, const QString &prefix)
{
    QImage image(sourcePath);
    if (image.isNull()) {
        RenditionResult result;
        result.status = RenditionResult::SourceUnreadable;
        result.failedPath = sourcePath;
        return result;
    }
    image = image.convertToFormat(QImage::Format_RGB888);

    const QByteArray dir = prefix.toUtf8();
    image = image.scaled(1920, 1080, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    RenditionResult result =
            writeImage(image, QString::asprintf("%s%d_1920x1080.jpg", dir.constData(), index + 1));
    if (result.status != RenditionResult::Written)
        return result;

    image = image.scaled(320, 180, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return writeImage(image, QString::asprintf("%s%d_320x180.jpg", dir.constData(), index + 1));
}

RenditionResult saveLogoFile(int index, const QString &sourcePath, const QString &prefix)
{
    // A logo that does not load is exported as the black canvas alone.
    const QImage source = QImage(sourcePath).convertToFormat(QImage::Format_RGB888);

    QImage canvas(480, 540, QImage::Format_RGB888);
    canvas.fill(Qt::black);

    const int copyWidth = std::min(source.width(), canvas.width());
    const int copyHeight = std::min(source.height(), canvas.height());
    for (int y = 0; y < copyHeight; ++y)
        std::memcpy(canvas.scanLine(y), source.constScanLine(y), std::size_t(copyWidth) * 3);

    const QByteArray dir = prefix.toUtf8();
    return writeImage(canvas, QString::asprintf("%sLogo%d_480x540.jpg", dir.constData(), index + 1));
}
