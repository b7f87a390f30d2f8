#ifndef PORTUDP_H
#define PORTUDP_H

#include "cmddealmodule.h"
#include "portbase.h"
#include "porvane_global.h"
#include "protocoldata.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QUdpSocket;
struct PortUDPPrivate;

// Transport over UDP. Commands go to one device by unicast, cut into datagrams of
// at most 540 bytes, or to every device at a port by broadcast; each reply is one
// datagram, and a reply that carries a block is held until the datagrams of its
// block have arrived. Only the device answers: datagrams from other senders are
// refused (AnswerFilter), but for the answers to a broadcast while they are
// awaited; where the system can, it drops them before they fill the socket
// (SenderSieve). The socket, the receiving and the rebuilds belong to the
// thread that created the object, which must run a Qt event loop; send from that
// thread too.
class PORVANE_EXPORT PortUDP : public PortBase
{
    Q_OBJECT

public:
    // Where unicast goes until the host calls setDeviceIP: the address a device of
    // this family answers on out of the box.
    static constexpr const char kDefaultDeviceIP[] = "192.168.1.100";
    // The socket's receive buffer. The block of a held reply arrives as a burst of
    // datagrams (up to 32 KB, in pieces as small as the device likes) while the
    // receiving thread may be busy; with a 4 KB buffer most of such a burst is
    // dropped by the system. This holds a 32 KB block in 100-byte datagrams.
    static constexpr int kReceiveBufferSize = 256 * 1024;
    // Datagrams one readPendingDatagrams pass takes at most, and the time it may
    // take. The socket accepts datagrams from anyone, and one sender can keep it
    // full: the pass then returns to the event loop, which serves the host's timers
    // and events before the socket's notification, still pending, brings the next
    // pass. The time counts too, because on a busy machine a pass of the same
    // datagrams takes longer.
    static constexpr int kMaxDatagramsPerPass = 256;
    static constexpr int kPassBudgetMs = 4;

    PortUDP();
    ~PortUDP() override;

    void setDeviceIP(QString ip) override;
    void setPort(int port) override;
    void clearQueue() override;
    bool openSerialPort(QString portName, QSerialPort::BaudRate baudRate,
                        QSerialPort::StopBits stopBits, QSerialPort::Parity parity,
                        QSerialPort::FlowControl flowControl,
                        QSerialPort::DataBits dataBits) override;
    void closeSerialPort() override;
    bool openUSB(unsigned short vendorId, unsigned short productId) override;
    void closeUSB() override;
    void setDeviceType(ModulelEnum::DeviceType type) override;

    // Block bytes gathered for the held reply.
    QByteArray m_blockCmdBuff;
    QUdpSocket *m_udpSocket;
    // Dotted IPv4 text; guarded by stdCMDlock.
    QString m_deviceIP;
    // Guarded by stdCMDlock; 0 (nothing can be sent) until setPort.
    int m_port;
    CmdDealModule m_cmdDealModule;
    // The held block-carrying reply datagram.
    QByteArray m_stdCmdBuff;
    QByteArray m_lastDatagram;
    // Read on the receiving thread while the host may set it: atomic, still lock-free.
    std::atomic<ModulelEnum::DeviceType> m_deviceType{ModulelEnum::DeviceNone};

    // One lock for every PortUDP: the device address and port, and the held reply.
    static std::mutex stdCMDlock;

    void initUdp();
    void senToUipro(void *);
    // The text preceded by "0" up to two characters: "" -> "00", "7" -> "07".
    QString autoRec(QString text);
    unsigned short combineTwoByte(unsigned char low, unsigned char high) const;
    QByteArray changeData(QByteArray bytes);
    ProtocolData getArrayData(QByteArray datagram);
    void addToReceivedQueue(ProtocolData reply);
    // Joins the held reply datagram with its block and queues the result; with
    // nothing to queue it only lets the next command go.
    void combineSTDCMDandBloackCMD(QByteArray block, QByteArray held);
    QByteArray produceCmds(ProtocolData command);
    void sendUdpData(QByteArray data);
    void sendUdpDataBroadcast(QByteArray data);
    void setRetFlagStatus(bool status);

    // What readPendingDatagrams does with each datagram it lets in: decode, classify,
    // queue, hold or gather block bytes.
    void handleDatagram(const QByteArray &datagram, const QHostAddress &sender);

    // Datagrams refused because they came from neither the device nor a sender
    // answering a broadcast, since the transport was made.
    quint64 refusedDatagrams() const;
    // Datagrams discarded as the rest of a block whose wait a departing command ended.
    quint64 leftoverDatagrams() const;
    // Datagrams the system dropped before the transport could read them: other
    // senders' while only the device's reach the socket, and any for want of room.
    quint64 droppedBySystem() const;

signals:
    void signalReInitUdp();
    void signalUSBChanged(bool);
    void signalSendReceiveMessageToUiPro(void *);

public slots:
    // Rebuilds the socket, discarding what is pending on it; keeps the device address.
    void reInitUdp();
    // Rebuilds the socket and keeps the device address.
    void reInitUdpKOVA();
    void readPendingDatagrams();
    void sendDatatoDevice(void *parameters) override;
    void processInfoDisplayonUI(void *);

private:
    void rebuildSocket(bool drainPending);
    void discardPending();
    // A datagram that is no reply, from sender: block bytes of its held reply.
    void takeBlockBytes(const QString &sender);
    // Forgets the held reply and the block bytes gathered for it.
    void endIncompleteHold();
    // Runs job on a detached thread that the destructor waits for. A job gets
    // copies of what it needs and touches nothing of this object.
    void startDetached(std::function<void()> job);
    void noteRefused();
    // Before a unicast leaves: once no broadcast's answers are awaited, only the
    // device's datagrams reach the socket.
    void sieveToDevice();
    // Before a broadcast leaves: its answers come from anyone.
    void openSieve();

    static void queueIfEnabled(const ProtocolData &reply, bool enabled);
    // The held reply with its block, stamped as a reply taken straight from a
    // datagram is; false when there is nothing to queue.
    bool joined(const QByteArray &block, const QByteArray &held, const QString &sender, ProtocolData *reply) const;

    // Last: destroyed first, so that the hand-off has delivered what its line
    // holds while the rest still stands.
    std::unique_ptr<PortUDPPrivate> d;
};

#endif // PORTUDP_H
