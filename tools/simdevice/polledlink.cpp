#include "polledlink.h"

#include "threadstart.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

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
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

void PolledLink::closeDescriptor(int *fd)
{
    if (*fd >= 0) {
        ::close(*fd);
        *fd = -1;
    }
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
    int wakePipe[2];
    if (::pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error)
            *error = systemError(QStringLiteral("pipe"));
        return false;
    }
    m_wakeRead = wakePipe[0];
    m_wakeWrite = wakePipe[1];
    m_running = true;
    if (ThreadStart::start(m_thread, [this]() { run(); }))
        return true;
    m_running = false;
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
    m_wakeRead = m_wakeWrite = -1;
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
    if (m_wakeWrite < 0)
        return;
    const char byte = 1;
    // A full pipe already holds a wake-up, so a refused byte is not lost.
    while (::write(m_wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
}

void PolledLink::run()
{
    int wakeRead;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        wakeRead = m_wakeRead;
    }
    std::vector<pollfd> fds;
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
        fds.assign(1, {wakeRead, POLLIN, 0});
        for (int fd : readDescriptors())
            fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), nfds_t(fds.size()), waitMs < 0 ? kIdlePollMs : waitMs) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead, drain, sizeof drain) > 0) {
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents != 0)
                readable(fds[i].fd);
        }
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = false;
    m_closed.notify_all();
}
