#include "ptydevice.h"

PtyDevice::PtyDevice() = default;

PtyDevice::~PtyDevice()
{
    stop();
}

QString PtyDevice::portName() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_portName;
}

QString PtyDevice::endpoint() const
{
    return portName();
}

SimDevice &PtyDevice::device()
{
    return m_device;
}

void PtyDevice::write(const QByteArray &raw)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!acceptsWritesLocked() || raw.isEmpty())
        return;
    // Bytes of its own for the I/O thread: it trims them inside Qt on a partial write,
    // where ThreadSanitizer cannot see the reference count shared with the caller.
    m_writes.schedule({{0, QByteArray(raw.constData(), raw.size())}}, Line());
    wakeLocked();
}

std::vector<int> PtyDevice::readDescriptors()
{
    // Only this thread closes the master while it runs, so reading it unlocked is safe.
    return {m_masterReadable ? m_master : -1};
}
