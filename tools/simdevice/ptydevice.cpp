#include "ptydevice.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
#include <util.h>
#else
#include <pty.h>
#endif

namespace {

// The I/O thread wakes at least this often even when nothing happens; every real
// event (bytes from the host, a write to make, stop, hang-up) wakes it sooner.
constexpr int kIdlePollMs = 100;
// When the host does not read, the slave's input queue fills up and the master
// refuses bytes; try again this much later rather than spin on POLLOUT.
constexpr int kRetryWriteMs = 10;

bool setFlags(int fd, bool nonBlocking)
{
    const int fdFlags = fcntl(fd, F_GETFD);
    if (fdFlags < 0 || fcntl(fd, F_SETFD, fdFlags | FD_CLOEXEC) < 0)
        return false;
    if (!nonBlocking)
        return true;
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Raw on both sides: no echo, no CR/LF translation, no signals from control
// characters; the host's serial port would otherwise see its own frames again.
bool makeRaw(int fd)
{
    termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

void closeFd(int *fd)
{
    if (*fd >= 0) {
        ::close(*fd);
        *fd = -1;
    }
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyDevice::PtyDevice() = default;

PtyDevice::~PtyDevice()
{
    stop();
}

bool PtyDevice::start(QString *error)
{
    auto fail = [&](const QString &reason) {
        closeLineLocked();
        closeFd(&m_wakeRead);
        closeFd(&m_wakeWrite);
        if (error)
            *error = reason;
        return false;
    };

    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running || m_master >= 0 || m_stopRequested || m_hungUp)
        return fail(QStringLiteral("already started or stopped"));

    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0)
        return fail(systemError("openpty"));
    if (!makeRaw(m_slave) || !makeRaw(m_master))
        return fail(systemError("tcsetattr"));
    if (!setFlags(m_master, true) || !setFlags(m_slave, false))
        return fail(systemError("fcntl"));

    char name[256];
    if (ttyname_r(m_slave, name, sizeof name) != 0)
        return fail(systemError("ttyname_r"));
    m_portName = QString::fromLocal8Bit(name);

    int wakePipe[2];
    if (::pipe(wakePipe) != 0)
        return fail(systemError("pipe"));
    m_wakeRead = wakePipe[0];
    m_wakeWrite = wakePipe[1];
    if (!setFlags(m_wakeRead, true) || !setFlags(m_wakeWrite, true))
        return fail(systemError("fcntl"));

    // The slave stays open on our side as long as the line is up: with no slave
    // open, the master reports a hang-up on every poll and the thread would spin.
    m_running = true;
    m_thread = std::thread(&PtyDevice::run, this);
    return true;
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
    if (!m_running || m_hungUp || raw.isEmpty())
        return;
    scheduleLocked({{0, raw}});
}

void PtyDevice::hangUp()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_hungUp)
        return;
    if (m_running) {
        // Only the I/O thread closes the fds it polls, so it never polls or reads a
        // closed (or reused) descriptor.
        m_hangUpRequested = true;
        wakeLocked();
        m_closed.wait(lock, [this] { return m_hungUp || !m_running; });
    }
    closeLineLocked();
    m_hungUp = true;
}

bool PtyDevice::isHungUp() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hungUp;
}

void PtyDevice::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = true;
        wakeLocked();
    }
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    closeLineLocked();
    closeFd(&m_wakeRead);
    closeFd(&m_wakeWrite);
}

void PtyDevice::wakeLocked()
{
    if (m_wakeWrite < 0)
        return;
    const char byte = 1;
    // A full pipe already holds a wake-up, so a refused byte is not lost.
    while (::write(m_wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
}

void PtyDevice::scheduleLocked(const QList<SimWrite> &writes)
{
    if (writes.isEmpty())
        return;
    if (m_writes.empty())
        m_nextWriteAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(writes.first().delayMs);
    m_writes.insert(m_writes.end(), writes.begin(), writes.end());
    wakeLocked();
}

void PtyDevice::closeLineLocked()
{
    closeFd(&m_master);
    closeFd(&m_slave);
    m_writes.clear();
}

int PtyDevice::writeDue()
{
    using namespace std::chrono;
    std::lock_guard<std::mutex> lock(m_mutex);
    while (!m_writes.empty()) {
        const auto now = steady_clock::now();
        if (now < m_nextWriteAt)
            return int(ceil<milliseconds>(m_nextWriteAt - now).count());

        SimWrite &front = m_writes.front();
        const ssize_t n = ::write(m_master, front.bytes.constData(), size_t(front.bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            m_writes.clear();
            break;
        }
        if (n < front.bytes.size()) {
            if (n > 0)
                front.bytes.remove(0, int(n));
            m_nextWriteAt = now + milliseconds(kRetryWriteMs);
            return kRetryWriteMs;
        }
        m_writes.pop_front();
        if (!m_writes.empty())
            m_nextWriteAt = now + milliseconds(m_writes.front().delayMs);
    }
    return kIdlePollMs;
}

void PtyDevice::run()
{
    int master;
    int wakeRead;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        master = m_master;
        wakeRead = m_wakeRead;
    }
    bool masterReadable = true;
    char buf[4096];

    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopRequested)
                break;
            if (m_hangUpRequested) {
                closeLineLocked();
                m_hungUp = true;
                break;
            }
        }

        const int timeout = writeDue();
        pollfd fds[2] = {{wakeRead, POLLIN, 0}, {masterReadable ? master : -1, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            while (::read(wakeRead, buf, sizeof buf) > 0) {
            }
        }
        if (fds[1].revents == 0)
            continue;

        QByteArray received;
        for (;;) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                received.append(buf, int(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                // The line is unusable for reading; stop polling it instead of
                // waking on its error condition forever.
                masterReadable = false;
            }
            break;
        }
        if (received.isEmpty())
            continue;
        const QList<SimWrite> writes = m_device.feed(received);
        std::lock_guard<std::mutex> lock(m_mutex);
        scheduleLocked(writes);
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = false;
    m_closed.notify_all();
}
