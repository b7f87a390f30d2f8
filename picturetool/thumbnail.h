#ifndef THUMBNAIL_H
#define THUMBNAIL_H

#include "sourceimage.h"

#include <QImage>
#include <QSize>
#include <QString>

class MemoryBudget;

// Loads filePath, upright, for a tile of the given size. A camera photo's embedded EXIF
// thumbnail is taken when it is at least the fitted size and of the photo's shape,
// which costs a read of its first kilobytes. Otherwise a picture larger than the tile
// is decoded straight to its fitted size (a JPEG at 1/2 to 1/8 scale inside the
// decoder) instead of at full resolution, while what that holds is claimed from budget
// (the shared one when null); one that would take more than the whole budget is not
// decoded. The tile paints the result at the same place and size as the full image.
// Returns a null image when the file cannot be used (see readSourceHeader).
QImage loadThumbnail(const QString &filePath, const QSize &tile, MemoryBudget *budget = nullptr);

// Bytes that decoding a thumbnail of a file with this header holds at its peak.
qint64 thumbnailCost(const SourceHeader &header);

#endif // THUMBNAIL_H
