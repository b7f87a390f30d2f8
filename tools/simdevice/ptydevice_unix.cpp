#include "ptydevice.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
#include <util.h>
#else
#include <pty.h>
#endif

namespace {

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

} // namespace

bool PtyDevice::supported()
{
    return true;
}

bool PtyDevice::start(QString *error)
{
    auto fail = [&](const QString &reason) {
        closeMediumLocked();
        if (error)
            *error = reason;
        return false;
    };

    std::lock_guard<std::mutex> lock(m_mutex);
    if (!startableLocked() || m_master >= 0) {
        // Not through fail(): the medium of a running device is not this call's to close.
        if (error)
            *error = QStringLiteral("already started or stopped");
        return false;
    }

    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0)
        return fail(systemError(QStringLiteral("openpty")));
    if (!makeRaw(m_slave) || !makeRaw(m_master))
        return fail(systemError(QStringLiteral("tcsetattr")));
    if (!setFlags(m_master, true) || !setFlags(m_slave, false))
        return fail(systemError(QStringLiteral("fcntl")));

    char name[256];
    if (ttyname_r(m_slave, name, sizeof name) != 0)
        return fail(systemError(QStringLiteral("ttyname_r")));
    m_portName = QString::fromLocal8Bit(name);

    // The slave stays open on our side as long as the line is up: with no slave
    // open, the master reports a hang-up on every poll and the thread would spin.
    QString why;
    if (!startThreadLocked(&why))
        return fail(why);
    return true;
}

void PtyDevice::closeMediumLocked()
{
    closeDescriptor(&m_master);
    closeDescriptor(&m_slave);
    m_writes.clear();
}

void PtyDevice::readable(int fd)
{
    char buf[4096];
    QByteArray received;
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            received.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // The line is unusable for reading; stop polling it instead of
            // waking on its error condition forever.
            m_masterReadable = false;
        }
        break;
    }
    if (received.isEmpty())
        return;
    const QList<SimWrite> writes = m_device.feed(received);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writes.schedule(writes, Line());
}

int PtyDevice::writeDue()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    SimWriteQueue<Line>::Item w;
    int waitMs = -1;
    while (m_writes.takeDue(&w, &waitMs)) {
        ssize_t n;
        do {
            n = ::write(m_master, w.bytes.constData(), size_t(w.bytes.size()));
        } while (n < 0 && errno == EINTR);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            m_writes.clear();
            return -1;
        }
        if (n < w.bytes.size()) {
            if (n > 0)
                w.bytes.remove(0, int(n));
            m_writes.putBack(w, kRetryWriteMs);
            return kRetryWriteMs;
        }
    }
    return waitMs;
}
