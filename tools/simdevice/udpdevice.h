#ifndef UDPDEVICE_H
#define UDPDEVICE_H

#include "polledlink.h"
#include "simwritequeue.h"

#include <QHostAddress>
#include <QList>

#include <atomic>

// The simulated device on UDP. It listens on its own IPv4 address and port, and on
// the broadcast address at the same port so that a host can find it; it answers
// every command at the address and port it came from, from its own address,
// performing the device's writes in order and with their delays on an I/O thread
// of its own. Several devices may share a port on different addresses (127.0.0.2,
// 127.0.0.3, …).
//
// It answers only senders on this machine (loopback, or an address of its own),
// so that whatever reaches it from a network is never answered.
//
// One device may also stand for many on consecutive addresses (127.0.0.2,
// 127.0.0.3, … for a discovery of a thousand): each address answers what is sent
// to it, and a broadcast is answered from every address, one after another,
// kBroadcastSpacingMs apart, as devices on a network do. The device logic is
// shared: it records each command once, however many addresses answer it.
class UdpDevice : public PolledLink
{
public:
    static constexpr int kBroadcastSpacingMs = 1;

    explicit UdpDevice(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0,
                       const QList<int> &blockDatagramSizes = {SimProfile::kDefaultBlockDatagram},
                       int addresses = 1);
    ~UdpDevice() override;

    UdpDevice(const UdpDevice &) = delete;
    UdpDevice &operator=(const UdpDevice &) = delete;

    // Where a device goes that should not share the host's address: 127.0.0.2, or
    // 127.0.0.1 where the system cannot send from that one.
    static QHostAddress ownLoopbackAddress();

    bool start(QString *error = nullptr) override;
    // "ADDRESS:PORT", with the port the system chose when 0 was asked for (the first
    // address where there are several).
    QString endpoint() const override;
    SimDevice &device() override;

    QHostAddress address() const;
    quint16 port() const;
    // False where the system refused a socket on the broadcast address: the device
    // then answers unicast only.
    bool listensForBroadcast() const;
    // Sends raw bytes as one datagram from the device's (first) address, after the
    // writes already scheduled.
    void send(const QByteArray &datagram, const QHostAddress &to, quint16 port);

private:
    struct Peer
    {
        quint32 address = 0; // IPv4, host byte order
        quint16 port = 0;
        int from = 0; // which of the device's addresses answers
    };

    std::vector<int> readDescriptors() override;
    void readable(int fd) override;
    int writeDue() override;
    void closeMediumLocked() override;
    bool isOnThisMachine(quint32 address) const;

    SimDevice m_device;
    const QHostAddress m_address;
    const int m_addressCount;
    std::atomic<quint16> m_port;
    QList<quint32> m_ownAddresses;
    // One socket per address, in address order.
    std::vector<int> m_unicast;
    int m_broadcast = -1;
    SimWriteQueue<Peer> m_writes;
};

#endif // UDPDEVICE_H
