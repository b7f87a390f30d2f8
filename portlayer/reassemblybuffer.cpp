#include "reassemblybuffer.h"

#include <cstring>

int ReassemblyBuffer::append(const QByteArray &data)
{
    int dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int buffered = sizeLocked();
        dropped = qMax(0, buffered + data.size() - kMaxBuffered);
        // The oldest go first, from the buffer and then from the front of data.
        const int fromBuffer = qMin(dropped, buffered);
        consumeLocked(fromBuffer);
        const int fromData = dropped - fromBuffer;
        m_data.append(data.constData() + fromData, data.size() - fromData);
    }
    m_changed.notify_all();
    return dropped;
}

QByteArray ReassemblyBuffer::peek(int n) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return copyLocked(0, n);
}

QByteArray ReassemblyBuffer::take(int n)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const QByteArray taken = copyLocked(0, n);
    consumeLocked(taken.size());
    return taken;
}

void ReassemblyBuffer::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    consumeLocked(sizeLocked());
}

int ReassemblyBuffer::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return sizeLocked();
}

quint64 ReassemblyBuffer::head() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_position;
}

QByteArray ReassemblyBuffer::peekHead(int n, quint64 *pos) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    *pos = m_position;
    return copyLocked(0, n);
}

QByteArray ReassemblyBuffer::peekAt(quint64 pos, int n, bool *gone) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    *gone = pos < m_position;
    if (*gone || pos - m_position >= quint64(sizeLocked()))
        return QByteArray();
    return copyLocked(int(pos - m_position), n);
}

void ReassemblyBuffer::consumeTo(quint64 pos)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (pos > m_position)
        consumeLocked(int(qMin<quint64>(pos - m_position, quint64(sizeLocked()))));
}

ReassemblyBuffer::Resync ReassemblyBuffer::resyncStep(int limit, int closedAt, bool repeat)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Resync found;
    do {
        found = resyncStepLocked(limit, closedAt);
    } while (repeat && found == Resync::Consumed);
    return found;
}

ReassemblyBuffer::Resync ReassemblyBuffer::resyncStepLocked(int limit, int closedAt)
{
    const int n = qMin(limit, sizeLocked());
    if (n == 0)
        return Resync::NeedBytes;
    const char *data = m_data.constData() + m_head;
    const void *hit = std::memchr(data, '[', size_t(n));
    if (!hit) {
        consumeLocked(n);
        return Resync::Consumed;
    }
    const int at = int(static_cast<const char *>(hit) - data);
    if (at + 1 >= sizeLocked()) {
        // The "[" stays until its next byte has come.
        consumeLocked(at);
        return at > 0 ? Resync::Consumed : Resync::NeedBytes;
    }
    const bool closed = closedAt < 0 || at + closedAt >= sizeLocked() || data[at + closedAt] == ']';
    if (data[at + 1] == 'R' && closed) {
        consumeLocked(at);
        return Resync::ReplyStart;
    }
    consumeLocked(at + 1);
    return Resync::Consumed;
}

ReassemblyBuffer::Mark ReassemblyBuffer::mark() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_position + quint64(sizeLocked()), m_wakes};
}

void ReassemblyBuffer::waitPast(const Mark &mark, Clock::time_point deadline) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_until(lock, deadline, [&] {
        // Only an append moves the end.
        return m_position + quint64(sizeLocked()) != mark.end || m_wakes != mark.wakes;
    });
}

void ReassemblyBuffer::wake()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_wakes;
    }
    m_changed.notify_all();
}

int ReassemblyBuffer::sizeLocked() const
{
    return m_data.size() - m_head;
}

void ReassemblyBuffer::consumeLocked(int n)
{
    m_head += n;
    m_position += quint64(n);
    if (m_head >= m_data.size()) {
        m_data.clear();
        m_head = 0;
    } else if (m_head >= 1024 && m_head >= sizeLocked()) {
        m_data.remove(0, m_head);
        m_head = 0;
    }
}

QByteArray ReassemblyBuffer::copyLocked(int offset, int n) const
{
    // Never a shared view of the storage (as mid() gives for the whole of it): the
    // storage would then be freed by whichever thread lets go last, the reader's or
    // the parser's, and that hand-over is counted inside Qt, out of the sanitizers'
    // sight.
    const int available = sizeLocked() - offset;
    return QByteArray(m_data.constData() + m_head + offset, qBound(0, n, qMax(0, available)));
}
