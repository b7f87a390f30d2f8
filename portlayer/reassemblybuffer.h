#ifndef REASSEMBLYBUFFER_H
#define REASSEMBLYBUFFER_H

#include "porvane_internal.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <mutex>

// The bytes a stream medium has received and its parser has not consumed yet. Each
// byte has a position in the stream (every byte ever appended counts), so that the
// parser addresses what it has looked at, and a drop of the oldest bytes or a clear
// meanwhile can never make it consume, or hand on, bytes it has not seen. Appending
// wakes whoever waits for bytes. Thread-safe: a reader appends while the parser
// peeks, consumes and waits.
class PORVANE_INTERNAL ReassemblyBuffer
{
public:
    using Clock = std::chrono::steady_clock;

    // At most this many unconsumed bytes: sixteen times the largest block a reply can
    // announce (65,535 bytes), so that a device that floods the line cannot exhaust
    // memory. An append beyond it drops the oldest bytes.
    static constexpr int kMaxBuffered = 1 << 20;

    // Where the stream stood when a waiter last looked: the end of what had been
    // appended, and how many wake-ups had been asked for.
    struct Mark
    {
        quint64 end = 0;
        quint64 wakes = 0;
    };

    // Appends data; returns how many of the oldest bytes were dropped for it.
    int append(const QByteArray &data);
    // Up to n bytes from the head, in storage of their own.
    QByteArray peek(int n) const;
    // Removes up to n bytes from the head and returns them.
    QByteArray take(int n);
    void clear();
    int size() const;

    // Stream position of the first unconsumed byte.
    quint64 head() const;
    // Up to n bytes from the head, and the head's position, in one look.
    QByteArray peekHead(int n, quint64 *pos) const;
    // Up to n bytes from pos on; *gone when pos lies before the head (consumed or
    // dropped already).
    QByteArray peekAt(quint64 pos, int n, bool *gone) const;
    // Consumes up to pos; nothing when the head is there already.
    void consumeTo(quint64 pos);

    // What one resynchronisation step found at the head, within the first `limit`
    // bytes: what lies before the first "[" is consumed (all of it where there is
    // none), then a "[" whose next byte is not "R". With closedAt, also a "[R" whose
    // byte at that offset has come and is not "]": no frame starts there.
    enum class Resync {
        Consumed,  // something went; look again
        NeedBytes, // nothing to look at, or a "[" whose next byte has not come
        ReplyStart // "[R" at the head
    };
    // With repeat, steps again under the same lock for as long as a step consumes: a
    // flood of noise goes in one move, without a lock for every byte.
    Resync resyncStep(int limit, int closedAt = -1, bool repeat = false);

    Mark mark() const;
    // Waits until bytes are appended or wake() is called after mark was taken, or
    // until the deadline.
    void waitPast(const Mark &mark, Clock::time_point deadline) const;
    // Wakes the waiter, who looks again at whatever it waits for.
    void wake();

private:
    Resync resyncStepLocked(int limit, int closedAt);
    int sizeLocked() const;
    void consumeLocked(int n);
    // Up to n unconsumed bytes from offset on, in storage of their own.
    QByteArray copyLocked(int offset, int n) const;

    // Unconsumed bytes are m_data from m_head on; consuming moves the head and the
    // storage is compacted once the consumed part outweighs the rest, so a consume
    // costs no more than the bytes it removes.
    QByteArray m_data;
    int m_head = 0;
    quint64 m_position = 0;
    quint64 m_wakes = 0;
    // Standard rather than Qt's: ThreadSanitizer must see the hand-over of the
    // buffer's shared data, and QMutex locks inside the uninstrumented Qt library.
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
};

#endif // REASSEMBLYBUFFER_H
