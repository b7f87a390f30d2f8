#include "sourceimage.h"

#include "decoderwarnings.h"
#include "jpegprobe.h"
#include "memorybudget.h"
#include "platformfiles.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

namespace {

QString sizeText(const QSize &size)
{
    return QStringLiteral("%1 \u00d7 %2").arg(size.width()).arg(size.height());
}

qint64 megabytes(qint64 bytes)
{
    return (bytes + (1 << 20) - 1) >> 20;
}

bool turnsSideways(QImageIOHandler::Transformations transformation)
{
    return transformation & QImageIOHandler::TransformationRotate90;
}

QString withDetail(const QString &text, const QString &detail)
{
    return detail.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, detail);
}

} // namespace

QSize SourceHeader::uprightSize() const
{
    return turnsSideways(transformation) ? size.transposed() : size;
}

QString SourceHeader::reason() const
{
    switch (status) {
    case Readable:
        return QString();
    case NotReadable:
        return detail;
    case TooLarge:
        return QStringLiteral("too large (%1)").arg(sizeText(size));
    case TooManyScans:
        return QStringLiteral("too many scans (%1, at most %2)").arg(scans).arg(kMaxJpegScans);
    case NotAPicture:
        break;
    }
    return withDetail(QStringLiteral("not a picture that can be read"), detail);
}

SourceHeader readSourceHeader(const QString &path, HeaderDepth depth)
{
    // The reader looks at the first bytes for a signature and then at the header only:
    // a header that claims a huge picture costs no more than those bytes. Only a
    // regular file is opened at all: a FIFO would block, a device never end.
    SourceHeader header;
    QFile file;
    if (!openRegularFile(path, file, &header.detail)) {
        header.status = SourceHeader::NotReadable;
        return header;
    }
    header.fileBytes = file.size();
    // A header the decoder refuses (a 12-bit or lossless JPEG, say) makes it print
    // why; that is kept for the reason instead.
    const DecoderWarnings warnings;
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return header;
    header.format = reader.format();
    header.size = reader.size();
    header.transformation = reader.transformation();
    header.decodesPart = reader.supportsOption(QImageIOHandler::ClipRect);
    if (!header.size.isValid() || header.size.isEmpty()) {
        header.detail = warnings.first();
        return header;
    }
    header.status = qint64(header.size.width()) * header.size.height() > kMaxSourcePixels
            ? SourceHeader::TooLarge
            : SourceHeader::Readable;
    if (depth == HeaderDepth::Scans)
        readJpegScans(file, header);
    return header;
}

void readJpegScans(QIODevice &file, SourceHeader &header)
{
    if (header.status != SourceHeader::Readable || header.format != "jpeg" || !file.seek(0))
        return;
    const JpegProbe probe = probeJpeg(file);
    header.scans = probe.scans;
    header.coefficientBytes = probe.coefficientBytes;
    if (probe.scans > kMaxJpegScans)
        header.status = SourceHeader::TooManyScans;
}

QString outOfMemoryReason(const QSize &size)
{
    return QStringLiteral("out of memory: its %1 pixels need %2 MB")
            .arg(sizeText(size))
            .arg(megabytes(qint64(size.width()) * size.height() * 4));
}

QString tooCostlyReason(const SourceHeader &header, qint64 cost)
{
    return QStringLiteral("too large to decode (%1%2: needs %3 MB, at most %4 MB)")
            .arg(sizeText(header.size),
                 header.coefficientBytes > 0 ? QStringLiteral(", multi-scan") : QString())
            .arg(megabytes(cost))
            .arg(megabytes(kDecodeBudgetBytes));
}

qint64 decodeCost(const SourceHeader &header, const QRect &corner)
{
    if (header.status != SourceHeader::Readable)
        return 0;
    QSize decoded = header.size;
    if (corner.isValid() && header.decodesPart && header.transformation == QImageIOHandler::TransformationNone)
        decoded = (corner & QRect(QPoint(0, 0), header.size)).size();
    // 32-bit pixels; the RGB888 copy is made in place.
    return qint64(decoded.width()) * decoded.height() * 4 + header.coefficientBytes;
}

QImage opaqueRgb888(QImage image)
{
    if (!image.hasAlphaChannel())
        return std::move(image).convertToFormat(QImage::Format_RGB888);
    // Drawn over black, a colour counts by its opacity. (Converting the pixels would
    // keep the colour stored under a transparent one, even from premultiplied ones.)
    QImage canvas(image.size(), QImage::Format_RGB32);
    if (canvas.isNull())
        return {};
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, image);
    painter.end();
    return std::move(canvas).convertToFormat(QImage::Format_RGB888);
}

SourceImage refusedSource(const SourceHeader &header)
{
    SourceImage source;
    switch (header.status) {
    case SourceHeader::Readable:
    case SourceHeader::NotAPicture:
        source.status = SourceImage::NotAPicture;
        break;
    case SourceHeader::NotReadable:
        source.status = SourceImage::NotReadable;
        break;
    case SourceHeader::TooLarge:
    case SourceHeader::TooManyScans:
        source.status = SourceImage::TooLarge;
        break;
    }
    source.reason = header.reason();
    return source;
}

SourceImage loadSource(const QString &path, const SourceHeader &header, const QRect &corner)
{
    if (header.status != SourceHeader::Readable)
        return refusedSource(header);
    const qint64 cost = decodeCost(header, corner);
    if (cost > kDecodeBudgetBytes) {
        SourceImage source;
        source.status = SourceImage::TooLarge;
        source.reason = tooCostlyReason(header, cost);
        return source;
    }

    SourceImage source;
    QFile file;
    QString why;
    if (!openRegularFile(path, file, &why)) {
        source.status = SourceImage::NotReadable;
        source.reason = why;
        return source;
    }
    DecoderWarnings warnings;
    QImageReader reader(&file, header.format);
    reader.setAutoTransform(true);
    // The clip rectangle is taken before the picture is turned upright, so a turned
    // picture is decoded whole and its corner cut afterwards.
    const QRect wanted = corner & QRect(QPoint(0, 0), header.uprightSize());
    const bool clipWhileDecoding = corner.isValid()
            && header.transformation == QImageIOHandler::TransformationNone;
    if (clipWhileDecoding)
        reader.setClipRect(wanted);

    QImage decoded;
    if (!reader.read(&decoded)) {
        // The header was sound. If memory for its pixels cannot be had now either,
        // that, not the file, is why the decoder gave up.
        const QSize needed = clipWhileDecoding && header.decodesPart ? wanted.size() : header.size;
        if (QImage(needed, QImage::Format_ARGB32).isNull()) {
            source.status = SourceImage::OutOfMemory;
            source.reason = outOfMemoryReason(needed);
        } else {
            source.status = SourceImage::Failed;
            source.reason = withDetail(QStringLiteral("could not be decoded"), warnings.first());
        }
        return source;
    }
    QImage rgb = opaqueRgb888(std::move(decoded));
    if (rgb.isNull()) {
        source.status = SourceImage::OutOfMemory;
        source.reason = outOfMemoryReason(header.size);
        return source;
    }
    if (corner.isValid() && !clipWhileDecoding) {
        rgb = rgb.copy(wanted);
        if (rgb.isNull()) {
            source.status = SourceImage::OutOfMemory;
            source.reason = outOfMemoryReason(wanted.size());
            return source;
        }
    }
    source.status = SourceImage::Loaded;
    source.image = std::move(rgb);
    source.warning = warnings.first();
    return source;
}
