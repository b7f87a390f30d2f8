#include "trafficbuffer.h"

#include <algorithm>

TrafficBuffer::TrafficBuffer(int capacity, qint64 byteBudget)
    : m_capacity(std::max(1, capacity))
    , m_byteBudget(byteBudget)
{
}

int TrafficBuffer::slotOf(int index) const
{
    return (m_head + index) % m_capacity;
}

const ConsoleEvent &TrafficBuffer::at(int index) const
{
    return m_slots[size_t(slotOf(index))];
}

void TrafficBuffer::append(const ConsoleEvent &event)
{
    if (m_size == m_capacity)
        dropOldest(1);
    // Until the ring has wrapped once, the next slot is the one past the end.
    const int slot = slotOf(m_size);
    if (slot == int(m_slots.size()))
        m_slots.push_back(event);
    else
        m_slots[size_t(slot)] = event;
    ++m_size;
    m_heapBytes += event.heapBytes();

    // The oldest give their bytes up first; the newest is never shed, so the event
    // a person just selected shows its block.
    while (m_heapBytes > m_byteBudget && m_shedBefore < m_size - 1) {
        ConsoleEvent &old = m_slots[size_t(slotOf(m_shedBefore))];
        m_heapBytes -= old.heapBytes();
        old.shed();
        m_heapBytes += old.heapBytes();
        ++m_shedBefore;
    }
}

void TrafficBuffer::dropOldest(int count)
{
    count = std::min(count, m_size);
    for (int i = 0; i < count; ++i) {
        ConsoleEvent &old = m_slots[size_t(m_head)];
        m_heapBytes -= old.heapBytes();
        // Frees the bytes now rather than when the slot is written again.
        old = ConsoleEvent();
        m_head = (m_head + 1) % m_capacity;
    }
    m_size -= count;
    m_shedBefore = std::max(0, m_shedBefore - count);
    m_dropped += count;
}

void TrafficBuffer::clear()
{
    m_slots.clear();
    m_head = 0;
    m_size = 0;
    m_shedBefore = 0;
    m_heapBytes = 0;
    m_dropped = 0;
}
