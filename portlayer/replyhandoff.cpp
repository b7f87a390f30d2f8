#include "replyhandoff.h"

#include "cmddealmodule.h"
#include "detachedjob.h"
#include "portlog.h"

#include <atomic>
#include <chrono>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kReportEvery = std::chrono::seconds(1);

std::atomic<int> s_pendingThreads{0};

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

} // namespace

void ReplyHandOff::queue(const ProtocolData &reply)
{
    int report;
    {
        std::lock_guard<std::mutex> replyLock(CmdDealModule::receiveHexCmdlock);
        std::deque<ProtocolData> &queue = CmdDealModule::receivequeueHexCmd;
        queue.push_back(reply);
        const bool dropped = queue.size() > size_t(kMaxQueuedReplies);
        if (dropped)
            queue.pop_front();
        report = dropsToReport(dropped, queue.size());
        std::lock_guard<std::mutex> cmdLock(CmdDealModule::HexCmdlock);
        CmdDealModule::bRetFlag = true;
    }
    if (report > 0)
        qCDebug(lcPort) << "Reply queue full: dropped" << report << "oldest replies";
}

void ReplyHandOff::queueDetached(const ProtocolData &reply)
{
    // Counted before the thread exists and until it has queued: zero means every
    // reply handed off so far is on the queue.
    s_pendingThreads.fetch_add(1);
    DetachedJob::start([reply]() {
        queue(reply);
        s_pendingThreads.fetch_sub(1);
    });
}

int ReplyHandOff::pendingThreads()
{
    return s_pendingThreads.load();
}
