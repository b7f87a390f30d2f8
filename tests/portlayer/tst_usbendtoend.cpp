// End to end on the simulated HID bus: the factory's USB transport, the
// dispatcher's two workers wired as a host wires them, and the simulated device
// answering in input reports.

#include "dispatcherstate.h"
#include "portinterface.h"
#include "portusb.h"
#include "replyhandoff.h"
#include "transporthost.h"
#include "usbbus.h"
#include "usbdevice.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(SimFault)
Q_DECLARE_METATYPE(ProtocolData)

namespace {

constexpr quint16 kVendor = 0x4c56;
constexpr quint16 kProduct = 0xe2e0;
const auto kDeviceType = ModulelEnum::DeviceReceiver;

ProtocolData command(unsigned char cmd, unsigned char sub, const QByteArray &block = {}, int timeoutMs = 3000)
{
    ProtocolData c;
    c.byHead = 0x5a;
    c.byCmd = cmd;
    c.bySubCmd = sub;
    c.byParam2 = static_cast<unsigned char>(block.size() & 0xFF);
    c.byParam3 = static_cast<unsigned char>(block.size() >> 8);
    c.baData = block;
    c.iTimeoutMs = timeoutMs;
    return c;
}

} // namespace

class TestUsbEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void answered_data();
    void answered();
    void resendThenGiveUp_data();
    void resendThenGiveUp();
    void unplugInTheMiddleOfACommand();
    void awayForAMomentIsReported();

private:
    // Queues one command and waits until the host has a reply or a give-up.
    void roundTrip(const ProtocolData &c);

    std::unique_ptr<UsbDevice> m_device;
    PortUSB *m_port = nullptr;
    std::unique_ptr<TransportHost> m_host;
};

void TestUsbEndToEnd::init()
{
    QVERIFY(UsbBus::reset());
    resetDispatcherState();
    m_device = std::make_unique<UsbDevice>(kVendor, kProduct);
    QVERIFY(m_device->start());
    m_port = qobject_cast<PortUSB *>(PortInterface::creatCoreObjInstance(ConnUSB));
    QVERIFY(m_port);
    m_port->setDeviceType(kDeviceType);
    QVERIFY(m_port->openUSB(kVendor, kProduct));
    m_host = std::make_unique<TransportHost>(m_port);
}

void TestUsbEndToEnd::cleanup()
{
    m_host.reset();
    delete m_port;
    m_port = nullptr;
    m_device.reset();
    QTRY_COMPARE_WITH_TIMEOUT(ReplyHandOff::pending(), 0, 10000);
    resetDispatcherState();
}

void TestUsbEndToEnd::roundTrip(const ProtocolData &c)
{
    const int before = m_host->replies.size() + m_host->timeouts;
    queueCommand(c);
    QTRY_VERIFY_WITH_TIMEOUT(m_host->replies.size() + m_host->timeouts > before, 15000);
}

void TestUsbEndToEnd::answered_data()
{
    QTest::addColumn<ProtocolData>("sent");
    QTest::addColumn<SimFault>("fault");

    const QByteArray block200(200, '\x11');
    QTest::newRow("plain") << command(0x42, 0x00) << SimFault::None;
    QTest::newRow("noise first") << command(0x42, 0x00) << SimFault::GarbageBefore;
    QTest::newRow("a byte per report") << command(0x42, 0x00) << SimFault::ByteByByte;
    QTest::newRow("in three pieces") << command(0x71, 0x05) << SimFault::Pieces;
    QTest::newRow("command echoed first") << command(0x42, 0x00) << SimFault::EchoCommand;
    QTest::newRow("upper-case digits") << command(0x42, 0x00) << SimFault::UpperCaseDigits;
    QTest::newRow("65-byte report") << command(0x42, 0x00) << SimFault::OddSizedReply;
    QTest::newRow("command with a 200-byte block, 4 reports") << command(0xE0, 0x01, block200) << SimFault::None;
    QTest::newRow("reply block skipped") << command(0x79, 0x01) << SimFault::None;
}

void TestUsbEndToEnd::answered()
{
    QFETCH(ProtocolData, sent);
    QFETCH(SimFault, fault);

    m_device->device().setFaultForAll(fault);
    roundTrip(sent);
    QCOMPARE(m_host->timeouts.load(), 0);
    QCOMPARE(m_host->replies.size(), 1);
    const ProtocolData &reply = m_host->replies.first();
    QCOMPARE(reply.bySN, quint8(1));
    QCOMPARE(reply.byCmd, sent.byCmd);
    QCOMPARE(reply.strSource, QStringLiteral("USB"));
    QCOMPARE(reply.byReplySource, quint8(2));
    QCOMPARE(reply.iDeviceType, qint32(kDeviceType));
    QVERIFY(reply.baData.isEmpty());

    const QList<SimFrame> seen = m_device->device().receivedCommands();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().block, sent.baData);
}

void TestUsbEndToEnd::resendThenGiveUp_data()
{
    QTest::addColumn<int>("silentTimes");
    QTest::addColumn<int>("replies");
    QTest::addColumn<int>("timeouts");

    QTest::newRow("silent once: resent, answered") << 1 << 1 << 0;
    QTest::newRow("silent always: resent, given up") << -1 << 0 << 1;
}

void TestUsbEndToEnd::resendThenGiveUp()
{
    QFETCH(int, silentTimes);
    QFETCH(int, replies);
    QFETCH(int, timeouts);

    m_device->device().setFault(0x43, SimFault::Silent, silentTimes);
    // Long enough that a loaded machine answers the resend before its time is up.
    roundTrip(command(0x43, 0x00, {}, 1500));
    QCOMPARE(m_host->replies.size(), replies);
    QCOMPARE(m_host->timeouts.load(), timeouts);
    QCOMPARE(m_host->resends.load(), 1);
    // On a loaded machine the give-up may come before the device has read the resend.
    QTRY_COMPARE_WITH_TIMEOUT(m_device->device().receivedCommands().size(), 2, 10000);
    const QList<SimFrame> seen = m_device->device().receivedCommands();
    QCOMPARE(seen.at(0).sn, seen.at(1).sn);

    // The queue moves on.
    roundTrip(command(0x42, 0x00));
    QCOMPARE(m_host->replies.size(), replies + 1);
}

void TestUsbEndToEnd::unplugInTheMiddleOfACommand()
{
    UsbBus::Notices notices(m_port);
    // A device gone before the watcher's first look was never there for it.
    QVERIFY(UsbBus::waitForWatcherLooks(2));
    m_device->device().setFault(0x43, SimFault::Silent);
    queueCommand(command(0x43, 0x00, {}, 600));
    QTRY_COMPARE_WITH_TIMEOUT(m_device->device().receivedCommands().size(), 1, 10000);

    // The watcher closes the port; the resend finds it closed and the command is given up.
    m_device->hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(notices.seen, QList<bool>{false}, 10000);
    QVERIFY(!m_port->m_bUSBOpen);
    QTRY_COMPARE_WITH_TIMEOUT(m_host->timeouts.load(), 1, 15000);
    QCOMPARE(m_host->resends.load(), 1);
    QCOMPARE(m_device->device().receivedCommands().size(), 1);

    // Plugged in again, the port stays closed until the host opens it.
    QVERIFY(m_device->plugIn());
    QTRY_COMPARE_WITH_TIMEOUT(notices.seen, (QList<bool>{false, true}), 10000);
    QVERIFY(!m_port->m_bUSBOpen);
    QVERIFY(m_port->openUSB(kVendor, kProduct));
    roundTrip(command(0x42, 0x00));
    QCOMPARE(m_host->replies.size(), 1);
    QCOMPARE(m_host->replies.first().byCmd, quint8(0x42));
}

void TestUsbEndToEnd::awayForAMomentIsReported()
{
    // The device leaves and is back before the watcher's next look, as a wiggled
    // cable does: its old handle stays dead. The port finds its reads and writes
    // failing, closes and says the device went; the watcher finds it there at its
    // next look, the host opens it again, and commands are answered as before.
    UsbBus::Notices notices(m_port);
    connect(m_port, &PortUSB::signalUSBChanged, this, [this](bool present) {
        if (present)
            m_port->openUSB(kVendor, kProduct);
    }, Qt::QueuedConnection);
    QVERIFY(UsbBus::waitForWatcherLooks(2));
    roundTrip(command(0x42, 0x00));
    QCOMPARE(m_host->replies.size(), 1);

    m_device->hangUp();
    QVERIFY(m_device->plugIn());
    // Sent meanwhile: answered if the port is open again by then, else given up.
    roundTrip(command(0x43, 0x00, {}, 300));
    QTRY_COMPARE_WITH_TIMEOUT(notices.seen, (QList<bool>{false, true}), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_port->m_bUSBOpen, 10000);
    const int answered = m_host->replies.size();
    roundTrip(command(0x42, 0x01));
    QCOMPARE(m_host->replies.size(), answered + 1);
    QCOMPARE(m_host->replies.last().bySubCmd, quint8(0x01));
}

QTEST_GUILESS_MAIN(TestUsbEndToEnd)
#include "tst_usbendtoend.moc"
