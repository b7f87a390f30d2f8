#ifndef TRAFFICBUFFER_H
#define TRAFFICBUFFER_H

#include "consoleevent.h"

#include <vector>

// The events of a session in bounded memory: at most a fixed number of them, the
// oldest dropped beyond it, and a budget for the bytes they carry. Beyond the
// budget the oldest events let their bytes go (ConsoleEvent::shed) and keep their
// fields and lengths, so a session of large blocks cannot take the machine's memory.
class TrafficBuffer
{
public:
    static constexpr int kDefaultCapacity = 100000;
    static constexpr qint64 kDefaultByteBudget = qint64(64) << 20;

    explicit TrafficBuffer(int capacity = kDefaultCapacity, qint64 byteBudget = kDefaultByteBudget);

    int capacity() const { return m_capacity; }
    int size() const { return m_size; }
    // Index 0 is the oldest event held.
    const ConsoleEvent &at(int index) const;

    // Drops the oldest event first when full.
    void append(const ConsoleEvent &event);
    void dropOldest(int count);
    void clear();

    // Events dropped as the oldest since construction or clear().
    qint64 droppedCount() const { return m_dropped; }
    // Bytes the held events carry beyond their fixed size.
    qint64 heapBytes() const { return m_heapBytes; }

private:
    int slotOf(int index) const;

    int m_capacity;
    qint64 m_byteBudget;
    // A ring, grown as events come up to the capacity.
    std::vector<ConsoleEvent> m_slots;
    int m_head = 0;
    int m_size = 0;
    // Events before this index have let their bytes go.
    int m_shedBefore = 0;
    qint64 m_heapBytes = 0;
    qint64 m_dropped = 0;
};

#endif // TRAFFICBUFFER_H
