#include "thumbnail.h"

#include <QImageReader>

#include <algorithm>
#include <cmath>

QImage loadThumbnail(const QString &filePath, const QSize &tile)
{
    QImageReader reader(filePath);
    const QSize full = reader.size();
    if (full.isValid() && !full.isEmpty()) {
        const double k = std::min(double(tile.width()) / full.width(),
                                  double(tile.height()) / full.height());
        if (k < 1.0) {
            // Rounding the fitted size up keeps the tile's centring offset,
            // trunc((W - w * k) / 2), the same as for the unscaled image; the small
            // epsilon keeps an exact fit from rounding up by floating-point noise.
            const auto fitted = [k](int length) {
                return std::max(1, int(std::ceil(length * k - 1e-9)));
            };
            reader.setScaledSize(QSize(fitted(full.width()), fitted(full.height())));
        }
    }
    return reader.read();
}
