#ifndef REPLYHANDOFF_H
#define REPLYHANDOFF_H

#include "porvane_global.h"
#include "protocoldata.h"

// How every transport hands a reply to the dispatcher: onto the process-wide
// receive queue, which lets the send worker release the next command. The queue
// is bounded here, in the one path all media share: the receive worker takes 200
// replies a second, and a sender that outruns it (anyone on the LAN, a device
// streaming replies) must not grow the queue, and the host's memory, without end.
class PORVANE_EXPORT ReplyHandOff
{
public:
    // Enough for one broadcast answered by a thousand devices at once, and drained
    // by the receive worker in about five seconds. Beyond it the oldest replies go.
    static constexpr int kMaxQueuedReplies = 1000;

    // Appends a copy under the dispatcher's locks (the reply queue's first) and sets
    // bRetFlag; a reply beyond the bound drops the oldest one. Drops are counted
    // and written to the debug log: at once when they begin, then at most once a
    // second, and the rest once the queue is down to half.
    static void queue(const ProtocolData &reply);
    // The same on a detached thread of its own (DetachedJob), which holds its own
    // copy and touches no transport, so it may outlive the one that started it.
    static void queueDetached(const ProtocolData &reply);
    // Queueing threads started and not yet finished, process-wide.
    static int pendingThreads();
};

#endif // REPLYHANDOFF_H
