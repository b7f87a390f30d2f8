#include "thumbnailcache.h"

#include "thumbnail.h"
#include "workerthreads.h"

#include <QDateTime>
#include <QFileInfo>

#include <atomic>
#include <vector>

ThumbnailCache::Identity ThumbnailCache::Identity::of(const QString &path)
{
    const QFileInfo info(path);
    Identity identity;
    identity.exists = info.exists();
    if (identity.exists) {
        identity.size = info.size();
        identity.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    }
    return identity;
}

ThumbnailCache::ThumbnailCache(const QSize &tile)
    : m_tile(tile)
{
}

bool ThumbnailCache::holds(const QString &path, const Identity &identity) const
{
    const auto it = m_entries.constFind(path);
    return it != m_entries.constEnd() && it->identity == identity;
}

void ThumbnailCache::preload(const QStringList &paths)
{
    // The identity is taken before decoding: a file that changes meanwhile is read
    // again next time rather than kept with an image older than its identity says.
    QStringList missing;
    std::vector<Identity> identities;
    for (const QString &path : paths) {
        const Identity identity = Identity::of(path);
        if (!holds(path, identity) && !missing.contains(path)) {
            missing.append(path);
            identities.push_back(identity);
        }
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
    runOnWorkerThreads(missing.size(), 0, work);

    for (int i = 0; i < missing.size(); ++i)
        m_entries.insert(missing[i], { identities[std::size_t(i)], images[std::size_t(i)] });
}

QImage ThumbnailCache::image(const QString &path)
{
    const Identity identity = Identity::of(path);
    if (!holds(path, identity))
        m_entries.insert(path, { identity, loadThumbnail(path, m_tile) });
    return m_entries.value(path).image;
}

void ThumbnailCache::forget(const QString &path)
{
    m_entries.remove(path);
}
