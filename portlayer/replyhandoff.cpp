#include "replyhandoff.h"

#include "cmddealmodule.h"
#include "portlog.h"
#include "threadstart.h"

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kReportEvery = std::chrono::seconds(1);

std::atomic<int> s_pending{0};
std::atomic<qint64> s_longestDelayUs{0};

void noteDelivered(Clock::time_point posted)
{
    const qint64 us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - posted).count();
    qint64 longest = s_longestDelayUs.load();
    while (us > longest && !s_longestDelayUs.compare_exchange_weak(longest, us)) {
    }
}

// Guarded by the reply queue's lock: drops not yet reported, whether drops have
// begun since the queue was last down to half, and when the last report was made.
int s_unreported = 0;
bool s_dropping = false;
Clock::time_point s_lastReport;

// Under the reply queue's lock, after a push: the drops to report now, or 0.
int dropsToReport(bool dropped, size_t size)
{
    const Clock::time_point now = Clock::now();
    bool report = false;
    if (dropped) {
        ++s_unreported;
        report = !s_dropping || now - s_lastReport >= kReportEvery;
        s_dropping = true;
    } else if (s_dropping && size <= size_t(ReplyHandOff::kMaxQueuedReplies / 2)) {
        report = s_unreported > 0;
        s_dropping = false;
    }
    if (!report)
        return 0;
    const int n = s_unreported;
    s_unreported = 0;
    s_lastReport = now;
    return n;
}

// Under both dispatcher locks.
int pushLocked(const ProtocolData &reply)
{
    std::deque<ProtocolData> &queue = CmdDealModule::receivequeueHexCmd;
    queue.push_back(reply);
    const bool dropped = queue.size() > size_t(ReplyHandOff::kMaxQueuedReplies);
    if (dropped)
        queue.pop_front();
    CmdDealModule::bRetFlag = true;
    return dropsToReport(dropped, queue.size());
}

// A reply goes to another thread with buffers of its own, so that nothing it
// releases there is shared with the decoding thread's objects. Sharing would be
// sound (Qt counts references atomically), but the counting happens inside Qt,
// where ThreadSanitizer cannot see it, and it would report the hand-off.
ProtocolData ownRecord(ProtocolData record)
{
    record.strLabel = QString(record.strLabel.constData(), record.strLabel.size());
    record.strSource = QString(record.strSource.constData(), record.strSource.size());
    record.strNote = QString(record.strNote.constData(), record.strNote.size());
    record.baData = QByteArray(record.baData.constData(), record.baData.size());
    return record;
}

void reportDrops(int n)
{
    if (n > 0)
        qCDebug(lcPort) << "Reply queue full: dropped" << n << "oldest replies";
}

} // namespace

ReplyHandOff::~ReplyHandOff()
{
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        worker = std::move(m_worker);
    }
    m_wake.notify_all();
    if (worker.joinable())
        worker.join();
    // With no worker ever started, or one that ended first, what is left goes here.
    std::lock_guard<std::mutex> deliver(m_deliverMutex);
    deliverAllLocked();
}

void ReplyHandOff::queue(const ProtocolData &reply)
{
    int report;
    {
        std::lock_guard<std::mutex> replyLock(CmdDealModule::receiveHexCmdlock);
        std::lock_guard<std::mutex> cmdLock(CmdDealModule::HexCmdlock);
        report = pushLocked(reply);
    }
    reportDrops(report);
}

int ReplyHandOff::pending()
{
    return s_pending.load();
}

qint64 ReplyHandOff::longestDelayUs()
{
    return s_longestDelayUs.load();
}

void ReplyHandOff::resetLongestDelay()
{
    s_longestDelayUs = 0;
}

void ReplyHandOff::post(const ProtocolData &reply)
{
    append({ownRecord(reply), false});
    if (!tryDeliver())
        wakeWorker();
}

void ReplyHandOff::postRelease()
{
    append({ProtocolData(), true});
    if (!tryDeliver())
        wakeWorker();
}

void ReplyHandOff::deliverNow(const ProtocolData &reply)
{
    append({ownRecord(reply), false});
    std::lock_guard<std::mutex> deliver(m_deliverMutex);
    deliverAllLocked();
}

void ReplyHandOff::append(Item item)
{
    // Counted before it is on the line and until it is on the dispatcher's queue:
    // zero means everything handed over so far has been delivered.
    s_pending.fetch_add(1);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_items.push_back(std::move(item));
    // The dispatcher's queue would keep only the newest of these anyway.
    if (m_items.size() > size_t(kMaxQueuedReplies)) {
        m_items.pop_front();
        s_pending.fetch_sub(1);
    }
}

bool ReplyHandOff::tryDeliver()
{
    std::unique_lock<std::mutex> deliver(m_deliverMutex, std::try_to_lock);
    // Whoever holds it delivers the line, this item included.
    if (!deliver.owns_lock())
        return false;
    for (;;) {
        Item item;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_items.empty())
                return true;
            item = std::move(m_items.front());
            m_items.pop_front();
        }
        int report = 0;
        bool delivered = false;
        {
            std::unique_lock<std::mutex> replyLock(CmdDealModule::receiveHexCmdlock, std::defer_lock);
            if (item.release || replyLock.try_lock()) {
                std::unique_lock<std::mutex> cmdLock(CmdDealModule::HexCmdlock, std::try_to_lock);
                if (cmdLock.owns_lock()) {
                    if (item.release)
                        CmdDealModule::bRetFlag = true;
                    else
                        report = pushLocked(item.reply);
                    delivered = true;
                }
            }
        }
        if (!delivered) {
            // Back at the front, where it was: the worker goes on from there.
            std::lock_guard<std::mutex> lock(m_mutex);
            m_items.push_front(std::move(item));
            return false;
        }
        noteDelivered(item.posted);
        s_pending.fetch_sub(1);
        reportDrops(report);
    }
}

void ReplyHandOff::deliverAllLocked()
{
    for (;;) {
        Item item;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_items.empty())
                return;
            item = std::move(m_items.front());
            m_items.pop_front();
        }
        if (item.release) {
            std::lock_guard<std::mutex> cmdLock(CmdDealModule::HexCmdlock);
            CmdDealModule::bRetFlag = true;
        } else {
            queue(item.reply);
        }
        noteDelivered(item.posted);
        s_pending.fetch_sub(1);
    }
}

void ReplyHandOff::wakeWorker()
{
    bool worker;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        worker = m_worker.joinable() || (!m_stop && ThreadStart::start(m_worker, [this]() { work(); }));
    }
    if (worker) {
        m_wake.notify_all();
        return;
    }
    // No thread to be had: the line is delivered here, waiting for the locks,
    // rather than left behind.
    std::lock_guard<std::mutex> deliver(m_deliverMutex);
    deliverAllLocked();
}

void ReplyHandOff::work()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_items.empty(); });
            if (m_items.empty())
                return;
        }
        std::lock_guard<std::mutex> deliver(m_deliverMutex);
        deliverAllLocked();
    }
}
