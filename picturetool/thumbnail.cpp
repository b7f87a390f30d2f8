#include "thumbnail.h"

#include "decoderwarnings.h"

#include <QImageReader>

#include <algorithm>
#include <cmath>

QImage loadThumbnail(const QString &filePath, const QSize &tile)
{
    return loadThumbnail(filePath, readSourceHeader(filePath), tile);
}

QImage loadThumbnail(const QString &filePath, const SourceHeader &header, const QSize &tile)
{
    if (header.status != SourceHeader::Readable)
        return {};
    // A tile only shows the picture: damage is not worth a message here (the export
    // reports it).
    const DecoderWarnings quiet;
    QImageReader reader(filePath);
    reader.setAutoTransform(true);
    const QSize upright = header.uprightSize();
    const double k = std::min(double(tile.width()) / upright.width(),
                              double(tile.height()) / upright.height());
    if (k < 1.0) {
        // Rounding the fitted size up keeps the tile's centring offset,
        // trunc((W - w * k) / 2), the same as for the unscaled image; the small
        // epsilon keeps an exact fit from rounding up by floating-point noise.
        const auto fitted = [k](int length) { return std::max(1, int(std::ceil(length * k - 1e-9))); };
        const QSize size(fitted(upright.width()), fitted(upright.height()));
        // The reader scales before it turns the picture upright.
        reader.setScaledSize(header.uprightSize() == header.size ? size : size.transposed());
    }
    return reader.read();
}

qint64 thumbnailCost(const SourceHeader &header)
{
    // A JPEG is decoded at an eighth of its size each way; other formats whole.
    const qint64 whole = decodeCost(header);
    return header.format == "jpeg" ? whole / 64 : whole;
}
