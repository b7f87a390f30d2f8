#ifndef SIMWRITEQUEUE_H
#define SIMWRITEQUEUE_H

#include "simprofile.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <deque>

// The device's writes waiting for their time, in order: each is due delayMs after
// the one before it was made. Destination says where a write goes on media that
// address their peers (a datagram's receiver); the owner locks and does the writing.
template <typename Destination>
class SimWriteQueue
{
public:
    struct Item
    {
        QByteArray bytes;
        Destination to;
    };

    void schedule(const QList<SimWrite> &writes, const Destination &to)
    {
        if (writes.isEmpty())
            return;
        if (m_items.empty())
            m_dueAt = Clock::now() + std::chrono::milliseconds(writes.first().delayMs);
        for (const SimWrite &w : writes)
            m_items.push_back({w.delayMs, {w.bytes, to}});
    }

    // Takes the front write if it is due. Otherwise returns false and sets waitMs to
    // the time until it is, or to -1 when nothing waits.
    bool takeDue(Item *item, int *waitMs)
    {
        if (m_items.empty()) {
            *waitMs = -1;
            return false;
        }
        const auto now = Clock::now();
        if (now < m_dueAt) {
            *waitMs = int(std::chrono::ceil<std::chrono::milliseconds>(m_dueAt - now).count());
            return false;
        }
        *item = m_items.front().item;
        m_items.pop_front();
        if (!m_items.empty())
            m_dueAt = now + std::chrono::milliseconds(m_items.front().delayMs);
        return true;
    }

    // Puts a write (or what is left of it) back in front, due afterMs from now.
    void putBack(const Item &item, int afterMs)
    {
        m_items.push_front({afterMs, item});
        m_dueAt = Clock::now() + std::chrono::milliseconds(afterMs);
    }

    void clear() { m_items.clear(); }

private:
    using Clock = std::chrono::steady_clock;

    struct Pending
    {
        int delayMs;
        Item item;
    };

    std::deque<Pending> m_items;
    Clock::time_point m_dueAt;
};

#endif // SIMWRITEQUEUE_H
