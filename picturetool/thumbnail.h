#ifndef THUMBNAIL_H
#define THUMBNAIL_H

#include "sourceimage.h"

#include <QImage>
#include <QSize>
#include <QString>

// Loads filePath, upright, for a tile of the given size. A picture larger than the
// tile is decoded straight to its fitted size (a JPEG at 1/2 to 1/8 scale inside the
// decoder) instead of at full resolution, so twenty camera photos cost megabytes, not
// gigabytes. The tile paints the result at the same place and size as the full image.
// Returns a null image when the file cannot be used (see readSourceHeader).
QImage loadThumbnail(const QString &filePath, const QSize &tile);
QImage loadThumbnail(const QString &filePath, const SourceHeader &header, const QSize &tile);

// Bytes that loadThumbnail holds at its peak for a file with this header.
qint64 thumbnailCost(const SourceHeader &header);

#endif // THUMBNAIL_H
