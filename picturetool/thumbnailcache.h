#ifndef THUMBNAILCACHE_H
#define THUMBNAILCACHE_H

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class MemoryBudget;

// Tile-sized images of the listed files, decoded on worker threads so that the window
// keeps painting while twenty camera photos are read. An image is held for the file as
// it was (path, size, modification time): a file changed or removed since is read
// again, so a rebuilt grid shows what an export would write, or the placeholder.
//
// Used from the thread it lives on; the workers hand their images back to that
// thread, where imageReady reports each.
class ThumbnailCache : public QObject
{
    Q_OBJECT

public:
    explicit ThumbnailCache(const QSize &tile, MemoryBudget *budget = nullptr, QObject *parent = nullptr);
    // Lets the workers finish the file each is decoding, and joins them.
    ~ThumbnailCache() override;

    // Starts decoding the files that are not held as they are now and not on their way
    // already, in the order given.
    void request(const QStringList &paths);
    // Whether path's image is held for the file as it is now; image() then gives it
    // (null for a file that does not decode).
    bool holds(const QString &path) const;
    QImage image(const QString &path) const;
    void forget(const QString &path);
    // Whether any requested file is still being decoded.
    bool busy() const { return !m_waiting.isEmpty(); }

signals:
    // path's image is held now; null when it does not decode.
    void imageReady(const QString &path, const QImage &image);
    void busyChanged(bool busy);

private slots:
    // Takes the images the workers finished.
    void collect();

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
    struct Job
    {
        QString path;
        Identity identity;
    };
    struct Done
    {
        Job job;
        QImage image;
    };

    void work();

    const QSize m_tile;
    MemoryBudget &m_budget;
    QHash<QString, Entry> m_entries;
    QHash<QString, Identity> m_waiting;   // requested, not collected yet

    // Shared with the workers, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    std::vector<Done> m_done;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

#endif // THUMBNAILCACHE_H
