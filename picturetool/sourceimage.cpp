#include "sourceimage.h"

#include "decoderwarnings.h"

#include <QImageReader>

namespace {

QString sizeText(const QSize &size)
{
    return QStringLiteral("%1 \u00d7 %2").arg(size.width()).arg(size.height());
}

bool turnsSideways(QImageIOHandler::Transformations transformation)
{
    return transformation & QImageIOHandler::TransformationRotate90;
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
    case TooLarge:
        return QStringLiteral("too large (%1)").arg(sizeText(size));
    case NotAPicture:
        break;
    }
    return QStringLiteral("not a picture that can be read");
}

SourceHeader readSourceHeader(const QString &path)
{
    // The reader looks at the first bytes for a signature and then at the header only:
    // neither a device that never ends nor a header that claims a huge picture costs
    // more than those bytes.
    SourceHeader header;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return header;
    header.format = reader.format();
    header.size = reader.size();
    header.transformation = reader.transformation();
    header.decodesPart = reader.supportsOption(QImageIOHandler::ClipRect);
    if (!header.size.isValid() || header.size.isEmpty())
        return header;
    header.status = qint64(header.size.width()) * header.size.height() > kMaxSourcePixels
            ? SourceHeader::TooLarge
            : SourceHeader::Readable;
    return header;
}

QString outOfMemoryReason(const QSize &size)
{
    const qint64 megabytes = (qint64(size.width()) * size.height() * 4 + (1 << 20) - 1) >> 20;
    return QStringLiteral("out of memory: its %1 pixels need %2 MB").arg(sizeText(size)).arg(megabytes);
}

qint64 decodeCost(const SourceHeader &header, const QRect &corner)
{
    if (header.status != SourceHeader::Readable)
        return 0;
    QSize decoded = header.size;
    if (corner.isValid() && header.decodesPart && header.transformation == QImageIOHandler::TransformationNone)
        decoded = (corner & QRect(QPoint(0, 0), header.size)).size();
    // 32-bit pixels; the RGB888 copy is made in place.
    return qint64(decoded.width()) * decoded.height() * 4;
}

SourceImage loadSource(const QString &path, const SourceHeader &header, const QRect &corner)
{
    SourceImage source;
    if (header.status != SourceHeader::Readable) {
        source.status = header.status == SourceHeader::TooLarge ? SourceImage::TooLarge
                                                                : SourceImage::NotAPicture;
        source.reason = header.reason();
        return source;
    }

    DecoderWarnings warnings;
    QImageReader reader(path);
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
            source.reason = SourceHeader().reason();
        }
        return source;
    }
    QImage rgb = std::move(decoded).convertToFormat(QImage::Format_RGB888);
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
