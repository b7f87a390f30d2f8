#ifndef UDPDEVICE_H
#define UDPDEVICE_H

#include "simlink.h"
#include "simwritequeue.h"

#include <QHostAddress>
#include <QList>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// The simulated device on UDP. It listens on its own IPv4 address and port, and on
// the broadcast address at the same port so that a host can find it; it answers
// every command at the address and port it came from, from its own address,
// performing the device's writes in order and with their delays on an I/O thread
// of its own. Several devices may share a port on different addresses (127.0.0.2,
// 127.0.0.3, …).
//
// It answers only senders on this machine (loopback, or an address of its own),
// so that whatever reaches it from a network is never answered.
class UdpDevice : public SimLink
{
public:
    explicit UdpDevice(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0,
                       const QList<int> &blockDatagramSizes = {SimProfile::kDefaultBlockDatagram});
    ~UdpDevice() override;

    UdpDevice(const UdpDevice &) = delete;
    UdpDevice &operator=(const UdpDevice &) = delete;

    bool start(QString *error = nullptr) override;
    // "ADDRESS:PORT", with the port the system chose when 0 was asked for.
    QString endpoint() const override;
    SimDevice &device() override;
    void hangUp() override;
    bool isHungUp() const override;
    void stop() override;

    QHostAddress address() const;
    quint16 port() const;
    // False where the system refused a socket on the broadcast address: the device
    // then answers unicast only.
    bool listensForBroadcast() const;
    // Sends raw bytes as one datagram from the device's address, after the writes
    // already scheduled.
    void send(const QByteArray &datagram, const QHostAddress &to, quint16 port);

private:
    struct Peer
    {
        quint32 address = 0; // IPv4, host byte order
        quint16 port = 0;
    };

    void run();
    void wakeLocked();
    void closeSocketsLocked();
    bool isOnThisMachine(quint32 address) const;
    // Reads every datagram waiting on fd and schedules the answers.
    void receive(int fd);
    // Sends the datagrams that are due; returns the poll timeout until the next one.
    int sendDue();

    SimDevice m_device;
    const QHostAddress m_address;
    std::atomic<quint16> m_port;
    QList<quint32> m_ownAddresses;

    mutable std::mutex m_mutex;
    std::condition_variable m_closed;
    int m_unicast = -1;
    int m_broadcast = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_hangUpRequested = false;
    bool m_hungUp = false;
    SimWriteQueue<Peer> m_writes;
    std::thread m_thread;
};

#endif // UDPDEVICE_H
