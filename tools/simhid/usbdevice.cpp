#include "usbdevice.h"

#include "simhidbus.h"
#include "simwritequeue.h"
#include "threadstart.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// Input reports have one destination, the device's own handles on the bus.
struct ToHost
{
};

} // namespace

struct UsbDevice::Line
{
    std::mutex mutex;
    std::condition_variable wake;
    // Output reports the host wrote and the device has not read yet.
    std::deque<QByteArray> fromHost;
    // Input reports waiting for their time.
    SimWriteQueue<ToHost> toHost;
    // The bus's id while attached, 0 while unplugged or stopped.
    int busId = 0;
    bool running = false;
    bool stopRequested = false;
    bool hungUp = false;

    void scheduleLocked(const QList<SimWrite> &writes)
    {
        toHost.schedule(writes, ToHost());
        wake.notify_all();
    }
};

UsbDevice::UsbDevice(quint16 vendorId, quint16 productId)
    : m_device(SimProfile::usb())
    , m_vendorId(vendorId)
    , m_productId(productId)
    , m_line(std::make_shared<Line>())
{
}

UsbDevice::~UsbDevice()
{
    stop();
}

bool UsbDevice::start(QString *error)
{
    std::lock_guard<std::mutex> lock(m_line->mutex);
    if (m_line->running || m_line->stopRequested) {
        if (error)
            *error = QStringLiteral("already started or stopped");
        return false;
    }
    m_line->running = true;
    if (!ThreadStart::start(m_thread, [this]() { run(); })) {
        m_line->running = false;
        if (error)
            *error = QStringLiteral("the system refused a thread for the device");
        return false;
    }
    // Attached once it can answer: a host that finds it must get its replies.
    attachLocked();
    return true;
}

bool UsbDevice::attachLocked()
{
    SimHidBus &bus = SimHidBus::instance();
    const int id = bus.attach(m_vendorId, m_productId);
    // Holds the line, not the device: a write may still be on its way in when the
    // device stops, and then it lands in a line nobody reads.
    bus.setOutputHandler(id, [line = m_line, id](const QByteArray &report) {
        std::lock_guard<std::mutex> lock(line->mutex);
        if (line->busId != id)
            return;
        line->fromHost.push_back(report);
        line->wake.notify_all();
    });
    m_line->busId = id;
    return true;
}

QString UsbDevice::endpoint() const
{
    return QStringLiteral("%1:%2").arg(m_vendorId, 4, 16, QLatin1Char('0')).arg(m_productId, 4, 16, QLatin1Char('0'));
}

SimDevice &UsbDevice::device()
{
    return m_device;
}

void UsbDevice::hangUp()
{
    int id;
    {
        std::lock_guard<std::mutex> lock(m_line->mutex);
        if (m_line->hungUp)
            return;
        id = m_line->busId;
        m_line->busId = 0;
        m_line->toHost.clear();
        m_line->fromHost.clear();
        m_line->hungUp = true;
    }
    if (id != 0)
        SimHidBus::instance().detach(id);
}

bool UsbDevice::isHungUp() const
{
    std::lock_guard<std::mutex> lock(m_line->mutex);
    return m_line->hungUp;
}

bool UsbDevice::plugIn()
{
    std::lock_guard<std::mutex> lock(m_line->mutex);
    if (!m_line->running || m_line->stopRequested || !m_line->hungUp)
        return false;
    m_line->hungUp = false;
    return attachLocked();
}

void UsbDevice::stop()
{
    int id;
    {
        std::lock_guard<std::mutex> lock(m_line->mutex);
        m_line->stopRequested = true;
        id = m_line->busId;
        m_line->busId = 0;
        m_line->wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    if (id != 0)
        SimHidBus::instance().detach(id);
}

int UsbDevice::busId() const
{
    std::lock_guard<std::mutex> lock(m_line->mutex);
    return m_line->busId;
}

void UsbDevice::send(const QByteArray &report)
{
    std::lock_guard<std::mutex> lock(m_line->mutex);
    if (!m_line->running || m_line->hungUp)
        return;
    m_line->scheduleLocked({{0, report}});
}

void UsbDevice::run()
{
    Line &line = *m_line;
    std::unique_lock<std::mutex> lock(line.mutex);
    while (!line.stopRequested) {
        if (!line.fromHost.empty()) {
            std::deque<QByteArray> reports;
            reports.swap(line.fromHost);
            lock.unlock();
            QList<SimWrite> writes;
            for (const QByteArray &report : reports)
                writes += m_device.feed(report);
            lock.lock();
            if (!line.hungUp)
                line.scheduleLocked(writes);
            continue;
        }
        SimWriteQueue<ToHost>::Item due;
        int waitMs = -1;
        if (!line.toHost.takeDue(&due, &waitMs)) {
            if (waitMs < 0)
                line.wake.wait(lock);
            else
                line.wake.wait_for(lock, std::chrono::milliseconds(waitMs));
            continue;
        }
        const int id = line.busId;
        lock.unlock();
        SimHidBus::instance().sendInput(id, due.bytes);
        lock.lock();
    }
    line.running = false;
}
