#include "thumbnailcache.h"

#include "thumbnail.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

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
    if (missing.isEmpty())
        return;

    // Decoding a camera photo is mostly entropy decoding, even at 1/8 scale; one file
    // per core is what brings a batch of twenty down to about a second. Each worker
    // takes the next file by index and writes only its own slot; the joins hand the
    // images back to this thread.
    std::vector<QImage> images(std::size_t(missing.size()));
    std::atomic<int> next { 0 };
    const QSize tile = m_tile;
    const auto work = [&missing, &images, &next, tile]() {
        for (int i = next++; i < missing.size(); i = next++)
            images[std::size_t(i)] = loadThumbnail(missing[i], tile);
    };
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(cores, int(missing.size())); ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();

    for (int i = 0; i < missing.size(); ++i)
        m_images.insert(missing[i], images[std::size_t(i)]);
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
