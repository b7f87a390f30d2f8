#include "udpdevice.h"

#include <QNetworkInterface>

#include <algorithm>
#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A full send buffer refuses a datagram for a moment; try again this much later.
constexpr int kRetrySendMs = 1;

sockaddr_in socketAddress(quint32 address, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    return a;
}

// A non-blocking datagram socket bound to address:port; -1 on failure (errno says
// why). Shared (SO_REUSEADDR) for the broadcast address, so that every device at a
// port gets the broadcasts; never for a device's own address, where a second
// device would silently take the first one's traffic.
int boundSocket(quint32 address, quint16 port, bool shared)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    const sockaddr_in a = socketAddress(address, port);
    if ((shared && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        || ::bind(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

} // namespace

UdpDevice::UdpDevice(const QHostAddress &address, quint16 port, const QList<int> &blockDatagramSizes,
                     int addresses)
    : m_device(SimProfile::udp(blockDatagramSizes))
    , m_address(address)
    , m_addressCount(qMax(1, addresses))
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
        closeMediumLocked();
        if (error)
            *error = reason;
        return false;
    };
    if (!startableLocked() || !m_unicast.empty()) {
        // Not through fail(): the medium of a running device is not this call's to close.
        if (error)
            *error = QStringLiteral("already started or stopped");
        return false;
    }
    if (m_address.protocol() != QAbstractSocket::IPv4Protocol)
        return fail(QStringLiteral("not an IPv4 address: ") + m_address.toString());

    for (int i = 0; i < m_addressCount; ++i) {
        const quint32 address = m_address.toIPv4Address() + quint32(i);
        const int fd = boundSocket(address, m_port, false);
        if (fd < 0) {
            return fail(systemError(QStringLiteral("cannot listen on %1:%2")
                                        .arg(QHostAddress(address).toString())
                                        .arg(m_port.load())));
        }
        m_unicast.push_back(fd);
        if (i == 0) {
            // The port the system chose for the first serves every address.
            sockaddr_in bound{};
            socklen_t length = sizeof bound;
            if (::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length) != 0)
                return fail(systemError(QStringLiteral("getsockname")));
            m_port = ntohs(bound.sin_port);
        }
    }
    // Broadcasts are heard on a second socket; without it the device is found only
    // by address.
    m_broadcast = boundSocket(INADDR_BROADCAST, m_port, true);

    m_ownAddresses.clear();
    for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            m_ownAddresses.append(a.toIPv4Address());
    }
    QString why;
    if (!startThreadLocked(&why))
        return fail(why);
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

QHostAddress UdpDevice::address() const
{
    return m_address;
}

int UdpDevice::addressCount() const
{
    return m_addressCount;
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
    if (!acceptsWritesLocked() || to.protocol() != QAbstractSocket::IPv4Protocol)
        return;
    m_writes.schedule({{0, datagram}}, {to.toIPv4Address(), port});
    wakeLocked();
}

void UdpDevice::closeMediumLocked()
{
    for (int &fd : m_unicast)
        closeDescriptor(&fd);
    m_unicast.clear();
    closeDescriptor(&m_broadcast);
    m_writes.clear();
}

std::vector<int> UdpDevice::readDescriptors()
{
    // Only this thread closes the sockets while it runs, so reading them unlocked is safe.
    std::vector<int> fds = m_unicast;
    fds.push_back(m_broadcast);
    return fds;
}

bool UdpDevice::isOnThisMachine(quint32 address) const
{
    return (address >> 24) == 127 || m_ownAddresses.contains(address);
}

void UdpDevice::readable(int fd)
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
        const Peer sender{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), 0};
        if (!isOnThisMachine(sender.address))
            continue;
        const QList<SimWrite> writes = m_device.feed(QByteArray(buffer, int(n)));
        std::lock_guard<std::mutex> lock(m_mutex);
        if (fd != m_broadcast) {
            const auto at = std::find(m_unicast.begin(), m_unicast.end(), fd);
            m_writes.schedule(writes, {sender.address, sender.port, int(at - m_unicast.begin())});
            continue;
        }
        // A broadcast: every address answers, one after another.
        for (int i = 0; i < m_addressCount && !writes.isEmpty(); ++i) {
            QList<SimWrite> answer = writes;
            if (i > 0)
                answer.first().delayMs = kBroadcastSpacingMs;
            m_writes.schedule(answer, {sender.address, sender.port, i});
        }
    }
}

int UdpDevice::writeDue()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    SimWriteQueue<Peer>::Item w;
    int waitMs = -1;
    while (m_writes.takeDue(&w, &waitMs)) {
        const sockaddr_in to = socketAddress(w.to.address, w.to.port);
        ssize_t n;
        do {
            n = ::sendto(m_unicast.at(size_t(w.to.from)), w.bytes.constData(), size_t(w.bytes.size()), 0,
                         reinterpret_cast<const sockaddr *>(&to), sizeof to);
        } while (n < 0 && errno == EINTR);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
            m_writes.putBack(w, kRetrySendMs);
            return kRetrySendMs;
        }
        // Any other refusal loses this datagram only, as a network would.
    }
    return waitMs;
}
