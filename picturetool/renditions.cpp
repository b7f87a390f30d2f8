#include "renditions.h"

#include "filecommit.h"
#include "jpegwriter.h"
#include "sampledjpeg.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kQuality = 85;
const QSize kFullSize(1920, 1080);
const QSize kPreviewSize(320, 180);

// The output widths (1920, 320, 480) make RGB888 rows a multiple of four bytes, so the
// image's scanlines are back to back, as the encoder wants them.
bool addFile(Rendering &rendering, const QImage &image, const QString &path)
{
    Rendering::File file { path, QByteArray() };
    QString reason;
    if (!encodeJpeg(kQuality, unsigned(image.width()), unsigned(image.height()),
                    image.constBits(), &file.jpeg, &reason)) {
        rendering.status = RenditionResult::WriteFailed;
        rendering.failedPath = path;
        rendering.reason = reason;
        return false;
    }
    rendering.files.append(file);
    return true;
}

// Whether loading the file would turn or mirror it as its EXIF block says.
bool loaderAppliesExifTurn(const QString &sourcePath)
{
    QImageReader reader(sourcePath);
    return reader.autoTransform()
            && reader.transformation() != QImageIOHandler::TransformationNone;
}

} // namespace

QImage pictureFullSizePlain(const QString &sourcePath)
{
    const QImage image(sourcePath);
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_RGB888)
            .scaled(kFullSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QImage pictureFullSize(const QString &sourcePath)
{
    QFile file(sourcePath);
    if (file.open(QIODevice::ReadOnly)) {
        bool hasExif = false;
        const QImage image = decodeJpegSampled(file.readAll(), kFullSize, &hasExif);
        if (!image.isNull() && !(hasExif && loaderAppliesExifTurn(sourcePath)))
            return image;
    }
    return pictureFullSizePlain(sourcePath);
}

Rendering renderPicture(int index, const QString &sourcePath, const QString &prefix)
{
    Rendering rendering;
    rendering.sourcePath = sourcePath;
    const QImage full = pictureFullSize(sourcePath);
    if (full.isNull()) {
        rendering.status = RenditionResult::SourceUnreadable;
        rendering.failedPath = sourcePath;
        return rendering;
    }
    const QByteArray dir = prefix.toUtf8();
    if (!addFile(rendering, full, QString::asprintf("%s%d_1920x1080.jpg", dir.constData(), index + 1)))
        return rendering;
    const QImage preview = full.scaled(kPreviewSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    addFile(rendering, preview, QString::asprintf("%s%d_320x180.jpg", dir.constData(), index + 1));
    return rendering;
}

Rendering renderLogo(int index, const QString &sourcePath, const QString &prefix)
{
    Rendering rendering;
    rendering.sourcePath = sourcePath;
    const QImage source = QImage(sourcePath).convertToFormat(QImage::Format_RGB888);

    QImage canvas(480, 540, QImage::Format_RGB888);
    canvas.fill(Qt::black);
    const int copyWidth = std::min(source.width(), canvas.width());
    const int copyHeight = std::min(source.height(), canvas.height());
    for (int y = 0; y < copyHeight; ++y)
        std::memcpy(canvas.scanLine(y), source.constScanLine(y), std::size_t(copyWidth) * 3);

    const QByteArray dir = prefix.toUtf8();
    addFile(rendering, canvas, QString::asprintf("%sLogo%d_480x540.jpg", dir.constData(), index + 1));
    return rendering;
}

RenditionResult writeRendering(const Rendering &rendering)
{
    RenditionResult result;
    result.status = rendering.status;
    result.failedPath = rendering.failedPath;
    result.reason = rendering.reason;
    if (rendering.status == RenditionResult::SourceUnreadable)
        return result;
    for (const Rendering::File &file : rendering.files) {
        QString reason;
        if (!commitFile(file.path, file.jpeg, &reason)) {
            result.status = RenditionResult::WriteFailed;
            result.failedPath = file.path;
            result.reason = reason;
            return result;
        }
    }
    return result;
}

RenditionResult savePictureFiles(int index, const QString &sourcePath, const QString &prefix)
{
    return writeRendering(renderPicture(index, sourcePath, prefix));
}

RenditionResult saveLogoFile(int index, const QString &sourcePath, const QString &prefix)
{
    return writeRendering(renderLogo(index, sourcePath, prefix));
}
