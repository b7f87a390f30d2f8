#include "exportrun.h"

#include "filecommit.h"
#include "memorybudget.h"
#include "workerthreads.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <atomic>
#include <map>
#include <mutex>

namespace {

// Renders an item while what its decoder allocates is counted against the budget.
// One that would take more than the program's whole budget is refused by the
// rendering itself, before anything is claimed or decoded.
Rendering render(const ExportItem &item, const QString &prefix, MemoryBudget &budget)
{
    const bool picture = item.kind == ExportItem::Picture;
    const SourceHeader header = readSourceHeader(item.sourcePath);
    const qint64 cost = picture ? pictureCost(header) : logoCost(header);
    const MemoryBudget::Claim claim(budget, cost > kDecodeBudgetBytes ? 0 : cost);
    return picture ? renderPicture(item.index, item.sourcePath, prefix, header)
                   : renderLogo(item.index, item.sourcePath, prefix, header);
}

// Renderings waiting for their turn, and the one thread at a time that writes them.
class OrderedWriter
{
public:
    OrderedWriter(const QVector<ExportItem> &items, const ExportReport &report)
        : m_items(items),
          m_report(report)
    {
    }

    bool stopped() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stopped;
    }

    // Hands over the rendering of item position; the caller then writes every rendering
    // whose turn has come, unless another thread is writing already (it will take
    // this one too: both look at the queue under the same lock).
    void deliver(int position, Rendering rendering)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.emplace(position, std::move(rendering));
        if (m_writing)
            return;
        m_writing = true;
        for (auto it = m_ready.find(m_next); !m_stopped && it != m_ready.end();
             it = m_ready.find(m_next)) {
            const Rendering next = std::move(it->second);
            m_ready.erase(it);
            lock.unlock();
            const RenditionResult result = writeRendering(next);
            QStringList written;
            for (const Rendering::File &file : next.files) {
                if (result.status == RenditionResult::WriteFailed && file.path == result.failedPath)
                    break;
                written.append(file.path);
            }
            if (result.status == RenditionResult::Skipped)
                written.clear();
            if (m_report)
                m_report(m_next, m_items[m_next], result, written);
            lock.lock();
            if (result.status == RenditionResult::Skipped)
                m_outcome.skipped.append({ next.sourcePath, result.reason });
            if (result.status != RenditionResult::Skipped && !result.warning.isEmpty())
                m_outcome.damaged.append({ next.sourcePath, result.warning });
            if (result.status == RenditionResult::WriteFailed) {
                m_outcome.failure = result;
                m_stopped = true;
            }
            ++m_outcome.handled;
            ++m_next;
        }
        m_writing = false;
    }

    ExportOutcome outcome() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_outcome;
    }

private:
    const QVector<ExportItem> &m_items;
    const ExportReport &m_report;
    mutable std::mutex m_mutex;
    std::map<int, Rendering> m_ready;
    int m_next = 0;
    bool m_writing = false;
    bool m_stopped = false;
    ExportOutcome m_outcome;
};

} // namespace

ExportOutcome runExport(const QString &directory, const QVector<ExportItem> &items,
                        const ExportReport &report, int threads, MemoryBudget *budget)
{
    MemoryBudget &pixels = budget ? *budget : MemoryBudget::shared();
    // One export at a time into a folder: another run's ".part" files are then never
    // in flight while this one clears what an interrupted run left. A lock that cannot
    // be had (no such folder, no permission) leaves the leftovers alone; writing the
    // first file then fails with the reason. A missing folder is not even tried: Qt
    // on Windows warns on standard error when it cannot make the lock file there.
    QLockFile folderLock(QDir(directory).filePath(QStringLiteral(".jpgtool-export.lock")));
    // Only a lock whose holder is gone is taken over, never one that is merely old:
    // an export of large pictures can hold it for minutes.
    folderLock.setStaleLockTime(0);
    if (QFileInfo(directory).isDir() && folderLock.lock())
        removeLeftoverParts(directory);
    const QString prefix = directory + QLatin1Char('/');
    OrderedWriter writer(items, report);
    std::atomic<int> nextToRender { 0 };
    const auto work = [&]() {
        for (int i = nextToRender++; i < items.size() && !writer.stopped(); i = nextToRender++)
            writer.deliver(i, render(items[i], prefix, pixels));
    };
    runOnWorkerThreads(items.size(), threads, work);
    return writer.outcome();
}
