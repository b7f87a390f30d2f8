#ifndef DISPATCHERBRIDGE_H
#define DISPATCHERBRIDGE_H

#include "cmddealmodule.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

// What a host puts between the dispatcher and itself: a CmdDealModule whose two
// workers run on threads of their own, and whose reports reach the thread that
// owns this object as signals carrying copies of the records.
//
// The dispatcher's signals carry a pointer to its command in flight or its last
// reply, which the worker overwrites at its next step. So the bridge copies the
// record on the worker's thread at once, and hands the copy over through one
// locked inbox that this object's thread drains in the workers' order. (A lock of
// the standard library, so that the thread sanitizer sees the hand-over; Qt's own
// event queue is hidden from it.)
//
// The dispatcher's queues and flags are process-wide: one bridge runs at a time.
class DispatcherBridge : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    explicit DispatcherBridge(QObject *parent = nullptr);
    // Stops and joins the workers first.
    ~DispatcherBridge() override;

    // Starts both workers; does nothing while they run. False, and nothing running,
    // when the system refused a thread.
    bool start();
    // Stops both workers and joins their threads. What they handed over that this
    // thread has not taken yet is dropped: no signal comes after stop(). Safe to
    // call more than once.
    void stop();
    bool isRunning() const;

    // The dispatcher the workers run on, for what a host calls itself
    // (writeErrorLog).
    CmdDealModule &dispatcher();

    // What a host does to queue a command: a copy at the back of the process-wide queue.
    static void queue(const ProtocolData &command);
    // Empties the command and reply queues and lets the next command go, as a host
    // does before a run and after it.
    static void clearQueues();

signals:
    // Each on this object's thread, in the order the workers did them; at is when
    // the worker did it.

    // The send worker released a command: the host hands it to the transport. resend:
    // it is the watchdog's one resend of the command in flight.
    void released(const ProtocolData &command, bool resend, DispatcherBridge::TimePoint at);
    // The watchdog found the command in flight unanswered and sends it once more
    // (signalInitCore); released(command, true) follows.
    void resent(const ProtocolData &command, DispatcherBridge::TimePoint at);
    // The receive worker accepted a reply (signalSendReceiveMessage).
    void replied(const ProtocolData &reply, DispatcherBridge::TimePoint at);
    // The reply rules refused a reply (signalReplyDropped).
    void dropped(const ProtocolData &reply, DispatcherBridge::TimePoint at);
    // The command in flight went unanswered after its resend and was given up
    // (signalSendTimeOut).
    void gaveUp(const ProtocolData &command, DispatcherBridge::TimePoint at);

private slots:
    void drain();

private:
    enum class Kind { Released, Resent, Replied, Dropped, GaveUp };

    struct Note
    {
        Kind kind;
        ProtocolData record;
        bool resend;
        TimePoint at;
    };

    // On a worker's thread.
    void post(Kind kind, const ProtocolData &record, bool resend = false);

    CmdDealModule m_dispatcher;
    std::thread m_sendThread;
    std::thread m_receiveThread;
    // Set by signalInitCore, taken by the release that follows it; both on the send
    // worker's thread.
    std::atomic<bool> m_resendNext{false};
    std::mutex m_inboxLock;
    std::deque<Note> m_inbox;
    bool m_drainPosted = false;
    // Bumped by stop(): a drain that began before it delivers nothing more.
    quint64 m_generation = 0;
};

#endif // DISPATCHERBRIDGE_H
