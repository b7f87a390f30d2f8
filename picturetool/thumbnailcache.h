#ifndef THUMBNAILCACHE_H
#define THUMBNAILCACHE_H

#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// Tile-sized images of the listed files, so that re-laying out the grid after a removal
// does not decode every remaining file again. An image is held for the file as it was
// (path, size, modification time): a file changed or removed since is read again, so
// a rebuilt grid shows what an export would write, or the placeholder.
class ThumbnailCache
{
public:
    explicit ThumbnailCache(const QSize &tile);

    // Decodes the files not held as they are now, several at a time, and returns when
    // all are done.
    void preload(const QStringList &paths);
    // The image of path as the file is now, decoding it if need be; null if it does
    // not decode.
    QImage image(const QString &path);
    void forget(const QString &path);

private:
    // What tells one version of a file from the next without reading it.
    struct Identity
    {
        bool exists = false;
        qint64 size = -1;
        qint64 modifiedMs = 0;

        static Identity of(const QString &path);
        bool operator==(const Identity &other) const
        {
            return exists == other.exists && size == other.size && modifiedMs == other.modifiedMs;
        }
    };
    struct Entry
    {
        Identity identity;
        QImage image;
    };

    bool holds(const QString &path, const Identity &identity) const;

    QSize m_tile;
    QHash<QString, Entry> m_entries;
};

#endif // THUMBNAILCACHE_H
