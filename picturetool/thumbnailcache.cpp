#include "thumbnailcache.h"

#include "memorybudget.h"
#include "thumbnail.h"
#include "threadstart.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

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

ThumbnailCache::ThumbnailCache(const QSize &tile, MemoryBudget *budget, QObject *parent)
    : QObject(parent),
      m_tile(tile),
      m_budget(budget ? *budget : MemoryBudget::shared())
{
}

ThumbnailCache::~ThumbnailCache()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
}

bool ThumbnailCache::holds(const QString &path) const
{
    const auto it = m_entries.constFind(path);
    return it != m_entries.constEnd() && it->identity == Identity::of(path);
}

QImage ThumbnailCache::image(const QString &path) const
{
    return m_entries.value(path).image;
}

void ThumbnailCache::forget(const QString &path)
{
    m_entries.remove(path);
}

void ThumbnailCache::request(const QStringList &paths)
{
    // The identity is taken before decoding: a file that changes meanwhile is read
    // again next time rather than kept with an image older than its identity says.
    std::vector<Job> jobs;
    for (const QString &path : paths) {
        const Identity identity = Identity::of(path);
        const auto held = m_entries.constFind(path);
        if (held != m_entries.constEnd() && held->identity == identity)
            continue;
        const auto waiting = m_waiting.constFind(path);
        if (waiting != m_waiting.constEnd() && *waiting == identity)
            continue;
        m_waiting.insert(path, identity);
        jobs.push_back({ path, identity });
    }
    if (jobs.empty())
        return;
    const bool wasBusy = m_waiting.size() > int(jobs.size());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.insert(m_jobs.end(), jobs.begin(), jobs.end());
        // Decoding a camera photo is mostly entropy decoding, even at 1/8 scale; one
        // file per core is what brings a batch of twenty down to a fraction of a
        // second. The workers wait for more once the queue is empty.
        const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
        while (m_workers.size() < std::min(cores, m_jobs.size())) {
            // Refused, the jobs wait for the workers there are, or for the next
            // request's try.
            std::thread worker;
            if (!ThreadStart::start(worker, [this]() { work(); }))
                break;
            m_workers.push_back(std::move(worker));
        }
    }
    m_wake.notify_all();
    if (!wasBusy)
        emit busyChanged(true);
}

void ThumbnailCache::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this]() { return m_stopping || !m_jobs.empty(); });
        if (m_stopping)
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();

        QImage image = loadThumbnail(job.path, m_tile, &m_budget);

        lock.lock();
        const bool first = m_done.empty();
        m_done.push_back({ std::move(job), std::move(image) });
        // One call per batch: the owner's thread takes whatever has been finished by
        // the time it runs. Named, so that the call is made and freed inside the
        // toolkit's event queue.
        if (first)
            QMetaObject::invokeMethod(this, "collect", Qt::QueuedConnection);
    }
}

void ThumbnailCache::collect()
{
    std::vector<Done> done;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        done.swap(m_done);
    }
    for (Done &d : done) {
        const auto waiting = m_waiting.constFind(d.job.path);
        // A newer request for the same path is on its way; this image is older.
        if (waiting == m_waiting.constEnd() || !(*waiting == d.job.identity))
            continue;
        m_waiting.erase(waiting);
        m_entries.insert(d.job.path, { d.job.identity, d.image });
        emit imageReady(d.job.path, d.image);
    }
    if (!done.empty() && m_waiting.isEmpty())
        emit busyChanged(false);
}
