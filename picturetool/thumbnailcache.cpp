#include "thumbnailcache.h"

#include "thumbnail.h"

#include <QtConcurrent>

#include <functional>

ThumbnailCache::ThumbnailCache(const QSize &tile)
    : m_tile(tile)
{
}

void ThumbnailCache::preload(const QStringList &paths)
{
    QStringList missing;
    for (const QString &path : paths) {
        if (!m_images.contains(path) && !missing.contains(path))
            missing.append(path);
    }
    // Decoding a camera photo is mostly entropy decoding, even at 1/8 scale; one file
    // per core is what brings a batch of twenty down to about a second.
    const QSize tile = m_tile;
    const std::function<QImage(const QString &)> load = [tile](const QString &path) {
        return loadThumbnail(path, tile);
    };
    const QList<QImage> images = QtConcurrent::blockingMapped<QList<QImage>>(missing, load);
    for (int i = 0; i < missing.size(); ++i)
        m_images.insert(missing[i], images[i]);
}

QImage ThumbnailCache::image(const QString &path)
{
    auto it = m_images.find(path);
    if (it == m_images.end())
        it = m_images.insert(path, loadThumbnail(path, m_tile));
    return it.value();
}

void ThumbnailCache::forget(const QString &path)
{
    m_images.remove(path);
}
