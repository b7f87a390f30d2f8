// The UDP medium of a run: the simulated device on a loopback address of its own
// (127.0.0.2) and the factory's UDP transport. The disturbance rebuilds the transport's socket through its own signal,
// which also forgets the device address; the host gives it again a while later.

#include "soakmedia.h"

#include "portinterface.h"
#include "portudp.h"
#include "udpdevice.h"

#include <QTimer>

namespace {

// Blocks leave the device in datagrams of this size, so the longer ones take several.
constexpr int kBlockDatagram = 64;

class UdpMedium : public SoakMedium
{
public:
    ~UdpMedium() override { close(); }

    Kind kind() const override { return Kind::Udp; }

    SoakPlan plan() const override
    {
        SoakPlan p;
        p.mix = {
            {0x42, 0x00, 0, 3},   // no rule; queued from a thread of its own
            {0x76, 0x01, 0, 1},   // refused for p1 32 to 35
            {0x71, 0x05, 0, 1},   // refused for p1 above 31
            {0x79, 0x0C, 0, 1},   // queued at once by the receiving thread
            {0x79, 0x01, 0, 1},   // held for a 16-byte block
            {0x8E, 0x27, 0, 1},   // held for a 5-byte block
            {0x77, 0x23, 0, 1},   // held for 129 bytes, three datagrams
            {0x8B, 0x05, 0, 1},   // held for 145 bytes, three datagrams
            {0xE0, 0x01, 600, 1}, // the command is cut into two datagrams
        };
        // A block one byte short stands for a block datagram lost on the way.
        p.rates = SoakPlan::commonRates() << SimDevice::FaultRate{SimFault::ShortBlock, 0.02};
        return p;
    }

    SimProfile profile() const override { return SimProfile::udp({kBlockDatagram}); }

    SoakLedger::Effect effect(const SimDevice::Exchange &e) const override
    {
        switch (e.fault) {
        case SimFault::Silent:
            return {false, 0};
        case SimFault::WrongHeaderChecksum:
        case SimFault::Pieces:
        case SimFault::OddSizedReply:
        case SimFault::ByteByByte:
            // No datagram of the answer is a reply, and with nothing held each one
            // starts a join that only lets the next command go.
            return {false, e.units};
        case SimFault::GarbageBefore:
        case SimFault::EchoCommand:
            return {true, 1};
        case SimFault::ShortBlock:
            return {e.reply.block.isEmpty(), 0};
        default:
            // UDP blocks have no checksum of their own: a wrong last byte is delivered.
            return {true, 0};
        }
    }

    bool open(const std::function<void(SimDevice &)> &configure, QString *error) override
    {
        m_device = std::make_unique<UdpDevice>(UdpDevice::ownLoopbackAddress(), 0, QList<int>{kBlockDatagram});
        configure(m_device->device());
        if (!m_device->start(error))
            return false;
        m_port.reset(static_cast<PortUDP *>(PortInterface::creatCoreObjInstance(ConnUDP)));
        m_port->setDeviceIP(m_device->address().toString());
        m_port->setPort(m_device->port());
        return true;
    }

    PortBase *port() const override { return m_port.get(); }

    void disturb() override
    {
        emit m_port->signalReInitUdp();
        QTimer::singleShot(plan().downMs, this, [this]() {
            m_port->setDeviceIP(m_device->address().toString());
            emit back(true, QString());
        });
    }

    QString disturbanceNote() const override
    {
        return QStringLiteral("socket rebuilt through signalReInitUdp; the device address given again %1 ms later")
            .arg(plan().downMs);
    }

    QList<SimDevice::Exchange> takeExchanges() override
    {
        return m_device ? m_device->device().takeExchanges() : QList<SimDevice::Exchange>();
    }

    void close() override
    {
        m_port.reset();
        m_device.reset();
    }

private:
    std::unique_ptr<UdpDevice> m_device;
    std::unique_ptr<PortUDP> m_port;
};

} // namespace

std::unique_ptr<SoakMedium> makeUdpMedium()
{
    return std::make_unique<UdpMedium>();
}
