#include "memorybudget.h"

MemoryBudget::MemoryBudget(qint64 bytes)
    : m_limit(bytes)
{
}

MemoryBudget &MemoryBudget::shared()
{
    static MemoryBudget budget(kDecodeBudgetBytes);
    return budget;
}

void MemoryBudget::acquire(qint64 bytes)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_released.wait(lock, [this, bytes]() { return m_held == 0 || m_held + bytes <= m_limit; });
    m_held += bytes;
    m_peak = std::max(m_peak, m_held);
}

void MemoryBudget::release(qint64 bytes)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held -= bytes;
    }
    m_released.notify_all();
}

qint64 MemoryBudget::peak() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_peak;
}

MemoryBudget::Claim::Claim(MemoryBudget &budget, qint64 bytes)
    : m_budget(budget),
      m_bytes(bytes)
{
    m_budget.acquire(m_bytes);
}

MemoryBudget::Claim::~Claim()
{
    m_budget.release(m_bytes);
}
