#ifndef MEMORYBUDGET_H
#define MEMORYBUDGET_H

#include <QtGlobal>

#include <condition_variable>
#include <mutex>

// The program's budget for decoded pixels and decoder buffers: 1 GiB. A source whose
// decoding alone would take more is refused before it is decoded.
constexpr qint64 kDecodeBudgetBytes = qint64(1) << 30;

// Bytes of decoded pixels that may be held at once by the threads that decode
// pictures, whatever their number: a machine with more cores renders more small
// pictures at once, not more large ones.
class MemoryBudget
{
public:
    explicit MemoryBudget(qint64 bytes);

    // The program's budget, shared by the export and the thumbnails: kDecodeBudgetBytes.
    static MemoryBudget &shared();

    // Waits until bytes fit beside what is held, then holds them. A claim larger than
    // the whole budget waits until nothing else is held and then runs alone.
    void acquire(qint64 bytes);
    void release(qint64 bytes);

    // The most that was held at once.
    qint64 peak() const;

    // Holds bytes for as long as it lives.
    class Claim
    {
    public:
        Claim(MemoryBudget &budget, qint64 bytes);
        ~Claim();
        Claim(const Claim &) = delete;
        Claim &operator=(const Claim &) = delete;

    private:
        MemoryBudget &m_budget;
        qint64 m_bytes;
    };

private:
    const qint64 m_limit;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    qint64 m_held = 0;
    qint64 m_peak = 0;
};

#endif // MEMORYBUDGET_H
