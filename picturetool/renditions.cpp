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
const QSize kLogoSize(480, 540);

// The output widths (1920, 320, 480) make RGB888 rows a multiple of four bytes, so the
// image's scanlines are back to back, as the encoder wants them.
bool addFile(Rendering &rendering, const QImage &image, const QString &path)
{
    Rendering::File file { path, QByteArray() };
    QString reason;
    if (!encodeJpeg(kQuality, unsigned(image.width()), unsigned(image.height()),
                    image.constBits(), &file.jpeg, &reason)) {
        // The parameters are always valid: what stops the compressor is memory, which
        // is no reason to stop the export at a file that was never written.
        rendering.files.clear();
        rendering.status = RenditionResult::Skipped;
        rendering.failedPath = rendering.sourcePath;
        rendering.reason = QStringLiteral("could not be compressed: %1").arg(reason);
        return false;
    }
    rendering.files.append(file);
    return true;
}

void skip(Rendering &rendering, const QString &reason)
{
    rendering.status = RenditionResult::Skipped;
    rendering.failedPath = rendering.sourcePath;
    rendering.reason = reason;
}

// The whole JPEG file for the sampled decoder, read only once its header is known to
// be sound, and only when it is no larger than its pixels would be: anything bigger
// is mostly not picture, and the plain reader streams it instead.
QByteArray jpegBytes(const QString &sourcePath, const SourceHeader &header)
{
    QFile file(sourcePath);
    if (!file.open(QIODevice::ReadOnly) || file.isSequential() || file.size() > decodeCost(header))
        return {};
    return file.readAll();
}

SourceImage scaledTo(SourceImage source, const QSize &size)
{
    if (source.status != SourceImage::Loaded)
        return source;
    const QSize from = source.image.size();
    source.image = source.image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (source.image.isNull()) {
        source.status = SourceImage::OutOfMemory;
        source.reason = outOfMemoryReason(from);
    }
    return source;
}

} // namespace

QImage pictureFullSizePlain(const QString &sourcePath)
{
    QImageReader reader(sourcePath);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_RGB888)
            .scaled(kFullSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

SourceImage loadPictureFullSize(const QString &sourcePath)
{
    const SourceHeader header = readSourceHeader(sourcePath);
    if (header.status == SourceHeader::Readable && header.format == "jpeg") {
        // A damaged JPEG is taken from here as well: the plain path would make the
        // whole picture its header claims, gigabytes for a file of a few hundred bytes.
        const QByteArray file = jpegBytes(sourcePath, header);
        QString damage;
        QImage image = decodeJpegSampled(reinterpret_cast<const uchar *>(file.constData()), file.size(),
                                         kFullSize, header.transformation, &damage);
        if (!image.isNull()) {
            SourceImage source;
            source.status = SourceImage::Loaded;
            source.image = std::move(image);
            source.warning = damage;
            return source;
        }
    }
    return scaledTo(loadSource(sourcePath, header), kFullSize);
}

QImage pictureFullSize(const QString &sourcePath)
{
    return loadPictureFullSize(sourcePath).image;
}

QRect logoCorner()
{
    return QRect(QPoint(0, 0), kLogoSize);
}

Rendering renderPicture(int index, const QString &sourcePath, const QString &prefix)
{
    Rendering rendering;
    rendering.sourcePath = sourcePath;
    const SourceImage full = loadPictureFullSize(sourcePath);
    if (full.status != SourceImage::Loaded) {
        skip(rendering, full.reason);
        return rendering;
    }
    rendering.warning = full.warning;
    const QByteArray dir = prefix.toUtf8();
    if (!addFile(rendering, full.image, QString::asprintf("%s%d_1920x1080.jpg", dir.constData(), index + 1)))
        return rendering;
    const QImage preview = full.image.scaled(kPreviewSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (preview.isNull()) {
        rendering.files.clear();
        skip(rendering, outOfMemoryReason(kFullSize));
        return rendering;
    }
    addFile(rendering, preview, QString::asprintf("%s%d_320x180.jpg", dir.constData(), index + 1));
    return rendering;
}

Rendering renderLogo(int index, const QString &sourcePath, const QString &prefix)
{
    Rendering rendering;
    rendering.sourcePath = sourcePath;
    const SourceImage source = loadSource(sourcePath, readSourceHeader(sourcePath), logoCorner());
    if (source.status == SourceImage::TooLarge || source.status == SourceImage::OutOfMemory) {
        skip(rendering, source.reason);
        return rendering;
    }
    // A file that is no picture at all gives the black canvas, as the window's
    // placeholder promises; the caller hears of it.
    rendering.blackPlaceholder = source.status == SourceImage::NotAPicture;
    rendering.warning = source.warning;

    QImage canvas(kLogoSize, QImage::Format_RGB888);
    if (canvas.isNull()) {
        skip(rendering, outOfMemoryReason(kLogoSize));
        return rendering;
    }
    canvas.fill(Qt::black);
    const int copyWidth = std::min(source.image.width(), canvas.width());
    const int copyHeight = std::min(source.image.height(), canvas.height());
    for (int y = 0; y < copyHeight; ++y)
        std::memcpy(canvas.scanLine(y), source.image.constScanLine(y), std::size_t(copyWidth) * 3);

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
    result.warning = rendering.warning;
    result.blackPlaceholder = rendering.blackPlaceholder;
    if (rendering.status == RenditionResult::Skipped)
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
