#include "udpdevice.h"

#include <QNetworkInterface>

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The I/O thread wakes at least this often even when nothing happens; every real
// event (a datagram, a write to make, stop, hang-up) wakes it sooner.
constexpr int kIdlePollMs = 100;
// A full send buffer refuses a datagram for a moment; try again this much later.
constexpr int kRetrySendMs = 1;

void closeFd(int *fd)
{
    if (*fd >= 0) {
        ::close(*fd);
        *fd = -1;
    }
}

QString systemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

sockaddr_in socketAddress(quint32 address, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    return a;
}

// A non-blocking datagram socket bound to address:port with SO_REUSEADDR, so that
// every device at a port gets the broadcasts; -1 on failure (errno says why).
int boundSocket(quint32 address, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    const sockaddr_in a = socketAddress(address, port);
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || ::bind(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

} // namespace

UdpDevice::UdpDevice(const QHostAddress &address, quint16 port, const QList<int> &blockDatagramSizes)
    : m_device(SimProfile::udp(blockDatagramSizes))
    , m_address(address)
    , m_port(port)
{
}

UdpDevice::~UdpDevice()
{
    stop();
}

bool UdpDevice::start(QString *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto fail = [&](const QString &reason) {
        closeSocketsLocked();
        closeFd(&m_wakeRead);
        closeFd(&m_wakeWrite);
        if (error)
            *error = reason;
        return false;
    };
    if (m_running || m_unicast >= 0 || m_stopRequested || m_hungUp)
        return fail(QStringLiteral("already started or stopped"));
    if (m_address.protocol() != QAbstractSocket::IPv4Protocol)
        return fail(QStringLiteral("not an IPv4 address: ") + m_address.toString());

    const QString where = QStringLiteral("%1:%2").arg(m_address.toString()).arg(m_port.load());
    m_unicast = boundSocket(m_address.toIPv4Address(), m_port);
    if (m_unicast < 0)
        return fail(systemError(QStringLiteral("cannot listen on ") + where));
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(m_unicast, reinterpret_cast<sockaddr *>(&bound), &length) != 0)
        return fail(systemError(QStringLiteral("getsockname")));
    m_port = ntohs(bound.sin_port);
    // Broadcasts are heard on a second socket; without it the device is found only
    // by address.
    m_broadcast = boundSocket(INADDR_BROADCAST, m_port);

    int wakePipe[2];
    if (::pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return fail(systemError(QStringLiteral("pipe")));
    m_wakeRead = wakePipe[0];
    m_wakeWrite = wakePipe[1];

    m_ownAddresses.clear();
    for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            m_ownAddresses.append(a.toIPv4Address());
    }
    m_running = true;
    m_thread = std::thread(&UdpDevice::run, this);
    return true;
}

QString UdpDevice::endpoint() const
{
    return QStringLiteral("%1:%2").arg(m_address.toString()).arg(m_port.load());
}

SimDevice &UdpDevice::device()
{
    return m_device;
}

void UdpDevice::hangUp()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_hungUp)
        return;
    if (m_running) {
        // Only the I/O thread closes the sockets it polls.
        m_hangUpRequested = true;
        wakeLocked();
        m_closed.wait(lock, [this] { return m_hungUp || !m_running; });
    }
    closeSocketsLocked();
    m_hungUp = true;
}

bool UdpDevice::isHungUp() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hungUp;
}

void UdpDevice::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = true;
        wakeLocked();
    }
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    closeSocketsLocked();
    closeFd(&m_wakeRead);
    closeFd(&m_wakeWrite);
}

QHostAddress UdpDevice::address() const
{
    return m_address;
}

quint16 UdpDevice::port() const
{
    return m_port;
}

bool UdpDevice::listensForBroadcast() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_broadcast >= 0;
}

void UdpDevice::send(const QByteArray &datagram, const QHostAddress &to, quint16 port)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_running || m_hungUp || to.protocol() != QAbstractSocket::IPv4Protocol)
        return;
    m_writes.schedule({{0, datagram}}, {to.toIPv4Address(), port});
    wakeLocked();
}

void UdpDevice::wakeLocked()
{
    if (m_wakeWrite < 0)
        return;
    const char byte = 1;
    // A full pipe already holds a wake-up, so a refused byte is not lost.
    while (::write(m_wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
}

void UdpDevice::closeSocketsLocked()
{
    closeFd(&m_unicast);
    closeFd(&m_broadcast);
    m_writes.clear();
}

bool UdpDevice::isOnThisMachine(quint32 address) const
{
    return (address >> 24) == 127 || m_ownAddresses.contains(address);
}

void UdpDevice::receive(int fd)
{
    // Large enough for any datagram.
    static thread_local char buffer[65536];
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: all read
        }
        const Peer sender{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        if (!isOnThisMachine(sender.address))
            continue;
        const QList<SimWrite> writes = m_device.feed(QByteArray(buffer, int(n)));
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writes.schedule(writes, sender);
    }
}

int UdpDevice::sendDue()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    SimWriteQueue<Peer>::Item w;
    int waitMs = -1;
    while (m_writes.takeDue(&w, &waitMs)) {
        const sockaddr_in to = socketAddress(w.to.address, w.to.port);
        ssize_t n;
        do {
            n = ::sendto(m_unicast, w.bytes.constData(), size_t(w.bytes.size()), 0,
                         reinterpret_cast<const sockaddr *>(&to), sizeof to);
        } while (n < 0 && errno == EINTR);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
            m_writes.putBack(w, kRetrySendMs);
            return kRetrySendMs;
        }
        // Any other refusal loses this datagram only, as a network would.
    }
    return waitMs < 0 ? kIdlePollMs : waitMs;
}

void UdpDevice::run()
{
    int unicast;
    int broadcast;
    int wakeRead;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        unicast = m_unicast;
        broadcast = m_broadcast;
        wakeRead = m_wakeRead;
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopRequested)
                break;
            if (m_hangUpRequested) {
                closeSocketsLocked();
                m_hungUp = true;
                break;
            }
        }
        const int timeout = sendDue();
        pollfd fds[3] = {{wakeRead, POLLIN, 0}, {unicast, POLLIN, 0}, {broadcast, POLLIN, 0}};
        if (::poll(fds, 3, timeout) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (fds[1].revents & POLLIN)
            receive(unicast);
        if (fds[2].revents & POLLIN)
            receive(broadcast);
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = false;
    m_closed.notify_all();
}
