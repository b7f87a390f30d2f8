#ifndef THUMBNAIL_H
#define THUMBNAIL_H

#include <QImage>
#include <QSize>
#include <QString>

// Loads filePath for a tile of the given size. A picture larger than the tile is
// decoded straight to its fitted size (a JPEG at 1/2 to 1/8 scale inside the decoder)
// instead of at full resolution, so twenty camera photos cost megabytes, not
// gigabytes. The tile paints the result at the same place and size as the full image.
// Returns a null image when the file does not decode.
QImage loadThumbnail(const QString &filePath, const QSize &tile);

#endif // THUMBNAIL_H
