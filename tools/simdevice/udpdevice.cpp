#include "udpdevice.h"

#include <QNetworkInterface>

#include "pollio.h"

#include <algorithm>

namespace {

// A full send buffer refuses a datagram for a moment; try again this much later.
constexpr int kRetrySendMs = 1;

// The broadcast address, 255.255.255.255.
constexpr quint32 kBroadcast = 0xffffffffu;

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
        const int fd = PollIo::udpSocket(address, m_port, false);
        if (fd < 0) {
            return fail(systemError(QStringLiteral("cannot listen on %1:%2")
                                        .arg(QHostAddress(address).toString())
                                        .arg(m_port.load())));
        }
        m_unicast.push_back(fd);
        if (i == 0) {
            // The port the system chose for the first serves every address.
            const quint16 bound = PollIo::boundPort(fd);
            if (bound == 0)
                return fail(systemError(QStringLiteral("getsockname")));
            m_port = bound;
        }
    }
    // Broadcasts are heard on a second socket; without it the device is found only
    // by address. It alone is shared, so that every device at a port gets the
    // broadcasts; a device's own address never is, where a second device would
    // silently take the first one's traffic.
    m_broadcast = PollIo::udpSocket(kBroadcast, m_port, true);

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

QHostAddress UdpDevice::ownLoopbackAddress()
{
    return QHostAddress(PollIo::ownLoopbackAddress());
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
    QByteArray datagram;
    quint32 address = 0;
    quint16 port = 0;
    while (PollIo::receiveFrom(fd, &datagram, &address, &port)) {
        const Peer sender{address, port, 0};
        if (!isOnThisMachine(sender.address))
            continue;
        const QList<SimWrite> writes = m_device.feed(datagram);
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
        const PollIo::SendResult sent
            = PollIo::sendTo(m_unicast.at(size_t(w.to.from)), w.bytes, w.to.address, w.to.port);
        if (sent == PollIo::SendResult::Retry) {
            m_writes.putBack(w, kRetrySendMs);
            return kRetrySendMs;
        }
        // Any other refusal loses this datagram only, as a network would.
    }
    return waitMs;
}
