#ifndef THUMBNAILCACHE_H
#define THUMBNAILCACHE_H

#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// Tile-sized images of the listed files, so that re-laying out the grid after a removal
// does not decode every remaining file again.
class ThumbnailCache
{
public:
    explicit ThumbnailCache(const QSize &tile);

    // Decodes the files not held yet, several at a time, and returns when all are done.
    void preload(const QStringList &paths);
    // The held image of path, decoding it now if it is not held; null if it does not decode.
    QImage image(const QString &path);
    void forget(const QString &path);

private:
    QSize m_tile;
    QHash<QString, QImage> m_images;
};

#endif // THUMBNAILCACHE_H
