#include "renditions.h"

#include "filecommit.h"
#include "jpegwriter.h"
#include "memorybudget.h"
#include "platformfiles.h"
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
// be sound, and only when it is no larger than decoding it by the plain reader would
// take: anything bigger is mostly not picture, and the plain reader streams it instead.
QByteArray jpegBytes(const QString &sourcePath, const SourceHeader &header)
{
    QFile file;
    if (!openRegularFile(sourcePath, file, nullptr) || file.size() > decodeCost(header))
        return {};
    return file.readAll();
}

bool takesSampledDecoder(const SourceHeader &header)
{
    return header.format == "jpeg" && std::min(header.size.width(), header.size.height()) >= 5;
}

// What the sampled decoder holds: libjpeg's coefficients, a row of the picture, and the
// pixels it keeps.
qint64 sampledCost(const SourceHeader &header, const QSize &kept)
{
    return header.coefficientBytes + qint64(header.size.width()) * 4
            + qint64(kept.width()) * kept.height() * 3;
}

SourceImage tooCostly(const SourceHeader &header, qint64 cost)
{
    SourceImage source;
    source.status = SourceImage::TooLarge;
    source.reason = tooCostlyReason(header, cost);
    return source;
}

// Decodes a JPEG by the sampled decoder; NotAPicture (with no reason) when it does not
// take the file and the plain path is to.
SourceImage loadSampled(const QString &sourcePath, const SourceHeader &header, const QSize &size, JpegPick pick)
{
    const QByteArray file = jpegBytes(sourcePath, header);
    const JpegDecode decoded = decodeJpegSampled(reinterpret_cast<const uchar *>(file.constData()), file.size(),
                                                 size, pick, header.transformation,
                                                 jpegDecodeAllowance(header.fileBytes));
    SourceImage source;
    switch (decoded.status) {
    case JpegDecode::Decoded:
        source.status = SourceImage::Loaded;
        source.image = decoded.image;
        source.warning = decoded.damage;
        break;
    case JpegDecode::NotCovered:
        break;
    case JpegDecode::OutOfMemory:
        source.status = SourceImage::OutOfMemory;
        source.reason = QStringLiteral("out of memory: its %1 \u00d7 %2 pixels could not be decoded (%3)")
                                .arg(header.size.width())
                                .arg(header.size.height())
                                .arg(decoded.reason);
        break;
    case JpegDecode::TooManyScans:
    case JpegDecode::TooSlow:
        source.status = SourceImage::TooLarge;
        source.reason = decoded.reason;
        break;
    case JpegDecode::Failed:
        source.status = SourceImage::Failed;
        source.reason = QStringLiteral("could not be decoded (%1)").arg(decoded.reason);
        break;
    }
    return source;
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
    return opaqueRgb888(image).scaled(kFullSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

qint64 pictureCost(const SourceHeader &header)
{
    return takesSampledDecoder(header) ? sampledCost(header, kFullSize) : decodeCost(header);
}

qint64 logoCost(const SourceHeader &header)
{
    return takesSampledDecoder(header) ? sampledCost(header, kLogoSize) : decodeCost(header, logoCorner());
}

SourceImage loadPictureFullSize(const QString &sourcePath, const SourceHeader &header)
{
    if (header.status != SourceHeader::Readable)
        return refusedSource(header);
    const qint64 cost = pictureCost(header);
    if (cost > kDecodeBudgetBytes)
        return tooCostly(header, cost);
    if (takesSampledDecoder(header)) {
        // A damaged JPEG is taken from here as well: the plain path would make the
        // whole picture its header claims, gigabytes for a file of a few hundred bytes.
        SourceImage source = loadSampled(sourcePath, header, kFullSize, JpegPick::Scaled);
        if (source.status != SourceImage::NotAPicture)
            return source;
    }
    return scaledTo(loadSource(sourcePath, header), kFullSize);
}

SourceImage loadPictureFullSize(const QString &sourcePath)
{
    return loadPictureFullSize(sourcePath, readSourceHeader(sourcePath));
}

QImage pictureFullSize(const QString &sourcePath)
{
    return loadPictureFullSize(sourcePath).image;
}

QRect logoCorner()
{
    return QRect(QPoint(0, 0), kLogoSize);
}

Rendering renderPicture(int index, const QString &sourcePath, const QString &prefix, const SourceHeader &header)
{
    Rendering rendering;
    rendering.sourcePath = sourcePath;
    const SourceImage full = loadPictureFullSize(sourcePath, header);
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

Rendering renderPicture(int index, const QString &sourcePath, const QString &prefix)
{
    return renderPicture(index, sourcePath, prefix, readSourceHeader(sourcePath));
}

SourceImage loadLogoCorner(const QString &sourcePath, const SourceHeader &header)
{
    if (header.status != SourceHeader::Readable)
        return refusedSource(header);
    const qint64 cost = logoCost(header);
    if (cost > kDecodeBudgetBytes)
        return tooCostly(header, cost);
    if (takesSampledDecoder(header)) {
        SourceImage source = loadSampled(sourcePath, header, kLogoSize, JpegPick::Corner);
        if (source.status != SourceImage::NotAPicture)
            return source;
    }
    return loadSource(sourcePath, header, logoCorner());
}

Rendering renderLogo(int index, const QString &sourcePath, const QString &prefix, const SourceHeader &header)
{
    Rendering rendering;
    rendering.sourcePath = sourcePath;
    const SourceImage source = loadLogoCorner(sourcePath, header);
    // A logo that cannot be loaded (no picture at all, gone, broken beyond decoding)
    // gives the black canvas, as the window's placeholder promises; the caller hears
    // why. What the tool refuses or cannot afford (too large, too much work, out of
    // memory) is an error: black would pass for a logo that was exported.
    const bool placeholder = source.status == SourceImage::NotAPicture || source.status == SourceImage::NotReadable
            || source.status == SourceImage::Failed;
    if (source.status != SourceImage::Loaded && !placeholder) {
        skip(rendering, source.reason);
        return rendering;
    }
    rendering.blackPlaceholder = placeholder;
    if (placeholder)
        rendering.reason = source.reason;
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

Rendering renderLogo(int index, const QString &sourcePath, const QString &prefix)
{
    return renderLogo(index, sourcePath, prefix, readSourceHeader(sourcePath));
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
