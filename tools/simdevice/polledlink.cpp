#include "polledlink.h"

#include "pollio.h"
#include "threadstart.h"

namespace {

// The I/O thread wakes at least this often even when nothing happens; every real
// event (input, a write to make, stop, hang-up) wakes it sooner.
constexpr int kIdlePollMs = 100;

} // namespace

PolledLink::~PolledLink()
{
    // The medium's destructor has stopped the thread already; this only tidies up.
    if (m_thread.joinable())
        m_thread.join();
    closeDescriptor(&m_wakeRead);
    closeDescriptor(&m_wakeWrite);
}

QString PolledLink::systemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, PollIo::lastError());
}

void PolledLink::closeDescriptor(int *fd)
{
    PollIo::close(fd);
}

bool PolledLink::startableLocked() const
{
    return !m_running && !m_stopRequested && !m_hungUp && m_wakeRead < 0;
}

bool PolledLink::acceptsWritesLocked() const
{
    return m_running && !m_hungUp;
}

bool PolledLink::startThreadLocked(QString *error)
{
    if (!PollIo::makeWakePair(&m_wakeRead, &m_wakeWrite)) {
        if (error)
            *error = systemError(QStringLiteral("wake-up pair"));
        return false;
    }
    m_running = true;
    if (ThreadStart::start(m_thread, [this]() { run(); }))
        return true;
    m_running = false;
    PollIo::close(&m_wakeRead);
    PollIo::close(&m_wakeWrite);
    if (error)
        *error = QStringLiteral("the system refused a thread for the link");
    return false;
}

void PolledLink::hangUp()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_hungUp)
        return;
    if (m_running) {
        m_hangUpRequested = true;
        wakeLocked();
        m_closed.wait(lock, [this] { return m_hungUp || !m_running; });
    }
    closeMediumLocked();
    m_hungUp = true;
}

bool PolledLink::isHungUp() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hungUp;
}

void PolledLink::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = true;
        wakeLocked();
    }
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    closeMediumLocked();
    closeDescriptor(&m_wakeRead);
    closeDescriptor(&m_wakeWrite);
}

void PolledLink::wakeLocked()
{
    if (m_wakeWrite >= 0)
        PollIo::wake(m_wakeWrite);
}

void PolledLink::run()
{
    int wakeRead;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        wakeRead = m_wakeRead;
    }
    std::vector<int> fds;
    std::vector<bool> ready;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopRequested)
                break;
            if (m_hangUpRequested) {
                closeMediumLocked();
                m_hungUp = true;
                break;
            }
        }

        const int waitMs = writeDue();
        fds.assign(1, wakeRead);
        for (int fd : readDescriptors())
            fds.push_back(fd);
        if (!PollIo::waitReadable(fds, waitMs < 0 ? kIdlePollMs : waitMs, &ready))
            break;
        if (ready[0])
            PollIo::drainWake(wakeRead);
        for (size_t i = 1; i < fds.size(); ++i) {
            if (ready[i])
                readable(fds[i]);
        }
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = false;
    m_closed.notify_all();
}
