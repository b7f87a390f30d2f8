#ifndef REPLYHANDOFF_H
#define REPLYHANDOFF_H

#include "porvane_internal.h"
#include "protocoldata.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// How a transport hands its replies to the dispatcher: onto the process-wide
// receive queue, which lets the send worker release the next command.
//
// In the order they were decoded. A thread per reply let a reply decoded first
// reach the queue hundreds of milliseconds after later ones on a loaded machine,
// and a late reply released the next command while a held block was still coming.
// So one object per transport keeps its replies in one line: the thread that
// decodes puts each reply at the back and delivers what it can at once, when the
// dispatcher's locks are free; when they are not, it does not wait for them, and
// one worker of this object delivers the line in order instead.
//
// The receive queue is bounded here, in the one path all media share: the receive
// worker takes 200 replies a second, and a sender that outruns it must not grow
// the queue, and the host's memory, without end.
class PORVANE_INTERNAL ReplyHandOff
{
public:
    // Enough for one broadcast answered by a thousand devices at once, and drained
    // by the receive worker in about five seconds. Beyond it the oldest replies go,
    // here as on the dispatcher's queue.
    static constexpr int kMaxQueuedReplies = 1000;

    ReplyHandOff() = default;
    // Delivers what still waits, then ends the worker.
    ~ReplyHandOff();

    ReplyHandOff(const ReplyHandOff &) = delete;
    ReplyHandOff &operator=(const ReplyHandOff &) = delete;

    // Hands reply over behind those posted before it, without waiting for the
    // dispatcher's locks.
    void post(const ProtocolData &reply);
    // Lets the next command go without a reply (a block that did not come in full,
    // say), in line with the replies posted before.
    void postRelease();
    // Hands reply over and delivers the whole line on this thread before returning,
    // waiting for the dispatcher's locks as long as it takes: for the replies that
    // are to be on the queue when their datagram has been read.
    void deliverNow(const ProtocolData &reply);

    // Appends a copy under the dispatcher's locks (the reply queue's first) and sets
    // bRetFlag; a reply beyond the bound drops the oldest one. Drops are counted
    // and written to the debug log: at once when they begin, then at most once a
    // second, and the rest once the queue is down to half.
    static void queue(const ProtocolData &reply);
    // Replies and releases posted and not yet delivered, process-wide.
    static int pending();
    // The longest time a reply waited between its post and the dispatcher's queue,
    // in microseconds, process-wide since the last reset: what a loaded machine
    // costs the hand-off.
    static qint64 longestDelayUs();
    static void resetLongestDelay();

private:
    struct Item
    {
        ProtocolData reply;
        bool release = false;
        std::chrono::steady_clock::time_point posted = std::chrono::steady_clock::now();
    };

    void append(Item item);
    // Delivers the line for as long as the dispatcher's locks are free; false when
    // something is left for the worker.
    bool tryDeliver();
    // Delivers the line, waiting for the locks; the caller holds m_deliverMutex.
    void deliverAllLocked();
    void wakeWorker();
    void work();

    // Guards m_items, m_stop and the worker's start.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Item> m_items;
    bool m_stop = false;
    // Held by whoever delivers, for as long as it takes items off the line and puts
    // them on the dispatcher's queue: only one does at a time, so none overtakes.
    std::mutex m_deliverMutex;
    std::thread m_worker;
};

#endif // REPLYHANDOFF_H
