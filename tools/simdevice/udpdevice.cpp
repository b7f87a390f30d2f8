#include "udpdevice.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

#include <chrono>
#include <deque>

// The sockets, the answers waiting to go and the timer that spaces them out, all
// living on the device's I/O thread.
class UdpDeviceLink : public QObject
{
public:
    explicit UdpDeviceLink(SimDevice *device)
        : m_device(device)
    {
    }

    bool open(const QHostAddress &address, quint16 port, quint16 *boundPort, bool *broadcast, QString *error)
    {
        m_unicast = new QUdpSocket(this);
        if (!m_unicast->bind(address, port)) {
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(address.toString())
                         .arg(port)
                         .arg(m_unicast->errorString());
            close();
            return false;
        }
        *boundPort = m_unicast->localPort();
        connect(m_unicast, &QUdpSocket::readyRead, this, [this] { receive(m_unicast); });

        // Every device at this port gets the broadcast, so the address is shared.
        m_broadcast = new QUdpSocket(this);
        if (m_broadcast->bind(QHostAddress(QHostAddress::Broadcast), *boundPort,
                              QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
            connect(m_broadcast, &QUdpSocket::readyRead, this, [this] { receive(m_broadcast); });
        } else {
            delete m_broadcast;
            m_broadcast = nullptr;
        }
        *broadcast = m_broadcast != nullptr;

        m_ownAddresses = QNetworkInterface::allAddresses();
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, [this] { sendDue(); });
        return true;
    }

    void close()
    {
        delete m_unicast;
        m_unicast = nullptr;
        delete m_broadcast;
        m_broadcast = nullptr;
        delete m_timer;
        m_timer = nullptr;
        m_out.clear();
    }

    void schedule(const QList<SimWrite> &writes, const QHostAddress &to, quint16 port)
    {
        if (!m_unicast || writes.isEmpty())
            return;
        if (m_out.empty())
            m_nextAt = Clock::now() + std::chrono::milliseconds(writes.first().delayMs);
        for (const SimWrite &w : writes)
            m_out.push_back({w.delayMs, w.bytes, to, port});
        sendDue();
    }

private:
    using Clock = std::chrono::steady_clock;

    struct Outgoing
    {
        int delayMs;
        QByteArray bytes;
        QHostAddress to;
        quint16 port;
    };

    bool isOnThisMachine(const QHostAddress &sender) const
    {
        return sender.isLoopback() || m_ownAddresses.contains(sender);
    }

    void receive(QUdpSocket *socket)
    {
        while (socket->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket->receiveDatagram();
            if (!datagram.isValid())
                break;
            if (!isOnThisMachine(datagram.senderAddress()))
                continue;
            schedule(m_device->feed(datagram.data()), datagram.senderAddress(),
                     static_cast<quint16>(datagram.senderPort()));
        }
    }

    // Sends what is due, back to back, and sets the timer for the rest.
    void sendDue()
    {
        m_timer->stop();
        while (!m_out.empty()) {
            const auto now = Clock::now();
            if (now < m_nextAt) {
                m_timer->start(int(std::chrono::ceil<std::chrono::milliseconds>(m_nextAt - now).count()));
                return;
            }
            const Outgoing o = m_out.front();
            m_out.pop_front();
            m_unicast->writeDatagram(o.bytes, o.to, o.port);
            if (!m_out.empty())
                m_nextAt = now + std::chrono::milliseconds(m_out.front().delayMs);
        }
    }

    SimDevice *m_device;
    QUdpSocket *m_unicast = nullptr;
    QUdpSocket *m_broadcast = nullptr;
    QTimer *m_timer = nullptr;
    QList<QHostAddress> m_ownAddresses;
    std::deque<Outgoing> m_out;
    Clock::time_point m_nextAt;
};

UdpDevice::UdpDevice(const QHostAddress &address, quint16 port, const QList<int> &blockDatagramSizes)
    : m_device(SimProfile::udp(blockDatagramSizes))
    , m_address(address)
    , m_port(port)
{
    m_thread.setObjectName(QStringLiteral("udp device"));
}

UdpDevice::~UdpDevice()
{
    stop();
}

bool UdpDevice::start(QString *error)
{
    if (m_link || m_hungUp) {
        if (error)
            *error = QStringLiteral("already started or stopped");
        return false;
    }
    m_link = std::make_unique<UdpDeviceLink>(&m_device);
    m_link->moveToThread(&m_thread);
    m_thread.start();

    UdpDeviceLink *link = m_link.get();
    bool opened = false;
    quint16 bound = 0;
    bool broadcast = false;
    QString why;
    const QHostAddress address = m_address;
    const quint16 port = m_port;
    QMetaObject::invokeMethod(link, [&] { opened = link->open(address, port, &bound, &broadcast, &why); },
                              Qt::BlockingQueuedConnection);
    if (!opened) {
        stop();
        m_hungUp = true;
        if (error)
            *error = why;
        return false;
    }
    m_port = bound;
    m_listensForBroadcast = broadcast;
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
    if (m_link && m_thread.isRunning()) {
        UdpDeviceLink *link = m_link.get();
        QMetaObject::invokeMethod(link, [link] { link->close(); }, Qt::BlockingQueuedConnection);
    }
    m_hungUp = true;
}

bool UdpDevice::isHungUp() const
{
    return m_hungUp;
}

void UdpDevice::stop()
{
    if (!m_link)
        return;
    if (m_thread.isRunning()) {
        UdpDeviceLink *link = m_link.get();
        QMetaObject::invokeMethod(link, [link] { link->close(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    // The thread has ended, so nothing else uses the link any more.
    m_link.reset();
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
    return m_listensForBroadcast;
}

void UdpDevice::send(const QByteArray &datagram, const QHostAddress &to, quint16 port)
{
    if (!m_link)
        return;
    UdpDeviceLink *link = m_link.get();
    QMetaObject::invokeMethod(link, [link, datagram, to, port] { link->schedule({{0, datagram}}, to, port); },
                              Qt::QueuedConnection);
}
