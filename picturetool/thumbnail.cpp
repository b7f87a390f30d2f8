#include "thumbnail.h"

#include "decoderwarnings.h"
#include "exifthumbnail.h"
#include "memorybudget.h"
#include "platformfiles.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

// The largest embedded thumbnail decoded: cameras store 160 x 120, a few up to 640 x
// 480. Anything claiming more is not taken, whatever its few bytes say.
constexpr int kLargestEmbedded = 1024;

// The size the tile shows the upright picture at: fitted, rounded up, which keeps the
// tile's centring offset, trunc((W - w * k) / 2), the same as for the unscaled image;
// the small epsilon keeps an exact fit from rounding up by floating-point noise. The
// picture's own size when it fits already.
QSize fittedSize(const QSize &upright, const QSize &tile)
{
    const double k = std::min(double(tile.width()) / upright.width(), double(tile.height()) / upright.height());
    if (k >= 1.0)
        return upright;
    const auto fitted = [k](int length) { return std::max(1, int(std::ceil(length * k - 1e-9))); };
    return QSize(fitted(upright.width()), fitted(upright.height()));
}

// As the toolkit's loader turns a picture upright: mirror, flip, then a quarter turn
// clockwise.
QImage upright(QImage image, QImageIOHandler::Transformations transformation)
{
    if (transformation & (QImageIOHandler::TransformationMirror | QImageIOHandler::TransformationFlip))
        image = image.mirrored(transformation & QImageIOHandler::TransformationMirror,
                               transformation & QImageIOHandler::TransformationFlip);
    if (transformation & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}

// The embedded thumbnail, upright and scaled to the fitted size, when it shows the
// whole photo (its shape within 2 %, so not one with bars added) at least as large as
// the tile does.
QImage embeddedThumbnail(QFile &file, const SourceHeader &header, const QSize &tile)
{
    QByteArray bytes = readExifThumbnail(file);
    if (bytes.isEmpty())
        return {};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.width() > kLargestEmbedded || stored.height() > kLargestEmbedded)
        return {};
    const QSize wanted = fittedSize(header.uprightSize(), tile);
    const QSize shown = header.uprightSize() == header.size ? stored : stored.transposed();
    const double shape = double(shown.width()) / shown.height();
    const double photoShape = double(header.uprightSize().width()) / header.uprightSize().height();
    if (shown.width() < wanted.width() || shown.height() < wanted.height()
        || std::abs(shape / photoShape - 1.0) > 0.02)
        return {};
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    return upright(image, header.transformation).scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage decodeThumbnail(const QString &filePath, const SourceHeader &header, const QSize &tile)
{
    QFile file;
    if (!openRegularFile(filePath, file, nullptr))
        return {};
    QImageReader reader(&file, header.format);
    reader.setAutoTransform(true);
    const QSize size = fittedSize(header.uprightSize(), tile);
    if (size != header.uprightSize()) {
        // The reader scales before it turns the picture upright.
        reader.setScaledSize(header.uprightSize() == header.size ? size : size.transposed());
    }
    return reader.read();
}

} // namespace

QImage loadThumbnail(const QString &filePath, const QSize &tile, MemoryBudget *budget)
{
    // A tile only shows the picture: damage is not worth a message here (the export
    // reports it).
    const DecoderWarnings quiet;
    SourceHeader header = readSourceHeader(filePath, HeaderDepth::Frame);
    if (header.status != SourceHeader::Readable)
        return {};
    if (header.format == "jpeg") {
        QFile file;
        if (!openRegularFile(filePath, file, nullptr))
            return {};
        const QImage embedded = embeddedThumbnail(file, header, tile);
        if (!embedded.isNull())
            return embedded;
        // Decoding it: its scans and coefficients count now.
        readJpegScans(file, header);
        if (header.status != SourceHeader::Readable)
            return {};
    }
    const qint64 cost = thumbnailCost(header);
    if (cost > kDecodeBudgetBytes)
        return {};
    const MemoryBudget::Claim claim(budget ? *budget : MemoryBudget::shared(), cost);
    return decodeThumbnail(filePath, header, tile);
}

qint64 thumbnailCost(const SourceHeader &header)
{
    // A JPEG's pixels are decoded at an eighth of their size each way, other formats
    // whole; a multi-scan JPEG's coefficients are held whole in any case.
    const qint64 pixels = decodeCost(header) - header.coefficientBytes;
    return (header.format == "jpeg" ? pixels / 64 : pixels) + header.coefficientBytes;
}
