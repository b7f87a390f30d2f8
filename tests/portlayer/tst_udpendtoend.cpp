// End to end over loopback: the factory's UDP transport, the dispatcher's two
// workers wired as a host wires them, and simulated devices on 127.0.0.2 and
// 127.0.0.3 answering over their own sockets.

#include "dispatcherstate.h"
#include "logcapture.h"
#include "portinterface.h"
#include "portudp.h"
#include "replyhandoff.h"
#include "sendersieve.h"
#include "transporthost.h"
#include "udpdevice.h"
#include "udpflood.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(SimFault)
Q_DECLARE_METATYPE(ProtocolData)

namespace {

const auto kDeviceType = ModulelEnum::DeviceSender;

ProtocolData command(unsigned char cmd, unsigned char sub, unsigned short length = 0, int timeoutMs = 3000)
{
    ProtocolData c;
    c.byHead = 0x55;
    c.byCmd = cmd;
    c.bySubCmd = sub;
    c.byParam2 = static_cast<unsigned char>(length & 0xFF);
    c.byParam3 = static_cast<unsigned char>(length >> 8);
    c.iTimeoutMs = timeoutMs;
    return c;
}

} // namespace

class TestUdpEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void replyReachesHost_data();
    void replyReachesHost();
    void badReplies_data();
    void badReplies();
    void blockBurstsArriveWhole();
    void twoDevicesOneAtATime();
    void floodLeavesTheHostResponsive();

private:
    void startDevice(const QList<int> &blockSizes = {SimProfile::kDefaultBlockDatagram});
    // Queues one command and waits until the device has it and the host has a
    // reply, a give-up, or (released) the next command may go.
    void roundTrip(const ProtocolData &c);

    std::unique_ptr<UdpDevice> m_device;
    PortUDP *m_port = nullptr;
    std::unique_ptr<TransportHost> m_host;
    std::unique_ptr<QuietDebugLog> m_quiet;
};


void TestUdpEndToEnd::initTestCase()
{
    m_quiet = std::make_unique<QuietDebugLog>();
}

void TestUdpEndToEnd::cleanupTestCase()
{
    m_quiet.reset();
}

void TestUdpEndToEnd::init()
{
    resetDispatcherState();
    m_port = qobject_cast<PortUDP *>(PortInterface::creatCoreObjInstance(ConnUDP));
    QVERIFY(m_port);
    m_port->setDeviceType(kDeviceType);
}

void TestUdpEndToEnd::cleanup()
{
    m_host.reset();
    delete m_port;
    m_port = nullptr;
    m_device.reset();
    resetDispatcherState();
}

void TestUdpEndToEnd::startDevice(const QList<int> &blockSizes)
{
    m_device = std::make_unique<UdpDevice>(QHostAddress(QStringLiteral("127.0.0.2")), 0, blockSizes);
    QString error;
    QVERIFY2(m_device->start(&error), qPrintable(error));
    m_port->setDeviceIP(QStringLiteral("127.0.0.2"));
    m_port->setPort(m_device->port());
    m_host = std::make_unique<TransportHost>(m_port);
}

void TestUdpEndToEnd::roundTrip(const ProtocolData &c)
{
    const int before = m_host->replies.size() + m_host->timeouts;
    queueCommand(c);
    QTRY_VERIFY_WITH_TIMEOUT(m_host->replies.size() + m_host->timeouts > before, 15000);
}

void TestUdpEndToEnd::replyReachesHost_data()
{
    QTest::addColumn<ProtocolData>("sent");
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<QList<int>>("blockSizes");
    QTest::addColumn<int>("blockBytes"); // a block means a joined reply

    const QList<int> kilo{1024};
    QTest::newRow("plain reply") << command(0x42, 0x00) << SimFault::None << kilo << 0;
    QTest::newRow("upper-case digits") << command(0x42, 0x00) << SimFault::UpperCaseDigits << kilo << 0;
    QTest::newRow("garbage datagram first") << command(0x42, 0x00) << SimFault::GarbageBefore << kilo << 0;
    QTest::newRow("command echoed first") << command(0x42, 0x00) << SimFault::EchoCommand << kilo << 0;
    QTest::newRow("79/0c queued at once") << command(0x79, 0x0C) << SimFault::None << kilo << 0;
    QTest::newRow("79/01 held for 16 bytes") << command(0x79, 0x01) << SimFault::None << kilo << 16;
    QTest::newRow("8e/27 held for 5 bytes") << command(0x8E, 0x27) << SimFault::None << kilo << 5;
    QTest::newRow("77/23 takes 129") << command(0x77, 0x23) << SimFault::None << kilo << 129;
    QTest::newRow("8b/05 takes 145") << command(0x8B, 0x05) << SimFault::None << kilo << 145;
    QTest::newRow("69/09 takes 129") << command(0x69, 0x09) << SimFault::None << kilo << 129;
    QTest::newRow("300 bytes in 200 + 150") << command(0xF1, 0x40, 300) << SimFault::None << QList<int>{200, 150}
                                            << 300;
    QTest::newRow("30000 bytes in 1000-byte datagrams") << command(0xF1, 0x01, 30000) << SimFault::None
                                                        << QList<int>{1000} << 30000;
    ProtocolData split = command(0xE0, 0x01, 1500);
    split.baData = QByteArray(1500, '\x5a');
    QTest::newRow("command of 1519 bytes, split") << split << SimFault::None << kilo << 0;
}

void TestUdpEndToEnd::replyReachesHost()
{
    QFETCH(ProtocolData, sent);
    QFETCH(SimFault, fault);
    QFETCH(QList<int>, blockSizes);
    QFETCH(int, blockBytes);

    startDevice(blockSizes);
    m_device->device().setFault(sent.byCmd, fault);
    roundTrip(sent);
    QCOMPARE(m_host->timeouts.load(), 0);
    QCOMPARE(m_host->replies.size(), 1);

    const QList<SimFrame> seen = m_device->device().receivedCommands();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().sn, quint8(1));
    QCOMPARE(seen.first().block, sent.baData);

    const ProtocolData r = m_host->replies.first();
    const SimFrame expected = SimDevice::replyFor(seen.first(), m_device->device().profile());
    QCOMPARE(r.bySN, quint8(1));
    QCOMPARE(r.byCmd, sent.byCmd);
    QCOMPARE(r.bySubCmd, sent.bySubCmd);
    QCOMPARE(r.baData.size(), blockBytes);
    QCOMPARE(r.baData, expected.block.left(blockBytes));
    // Straight from a datagram or joined with its block: the sender and the device type.
    QCOMPARE(r.strSource, QStringLiteral("127.0.0.2"));
    QCOMPARE(r.strLabel, r.strSource);
    QCOMPARE(r.byReplySource, static_cast<unsigned char>(0));
    QCOMPARE(r.iDeviceType, kDeviceType);
}

void TestUdpEndToEnd::badReplies_data()
{
    QTest::addColumn<ProtocolData>("sent");
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<int>("sends");    // how often the device got the command
    QTest::addColumn<int>("timeouts"); // given up

    // Without an answer the command is resent once and given up. A datagram that is
    // no reply (a bad checksum, an odd size, pieces) is taken as block bytes while
    // nothing is held: the next command is let go at once, nothing reaches the host.
    QTest::newRow("silent") << command(0x42, 0x00, 0, 300) << SimFault::Silent << 2 << 1;
    QTest::newRow("wrong header checksum") << command(0x42, 0x00, 0, 300) << SimFault::WrongHeaderChecksum << 1
                                           << 0;
    QTest::newRow("20-byte reply") << command(0x42, 0x00, 0, 300) << SimFault::OddSizedReply << 1 << 0;
    QTest::newRow("reply in pieces") << command(0x42, 0x00, 0, 300) << SimFault::Pieces << 1 << 0;
    // A held reply waits for its block; the resend's answer replaces it, short again.
    QTest::newRow("block one byte short") << command(0x79, 0x01, 0, 300) << SimFault::ShortBlock << 2 << 1;
}

void TestUdpEndToEnd::badReplies()
{
    QFETCH(ProtocolData, sent);
    QFETCH(SimFault, fault);
    QFETCH(int, sends);
    QFETCH(int, timeouts);

    startDevice();
    m_device->device().setFault(sent.byCmd, fault);
    queueCommand(sent);
    QTRY_COMPARE_WITH_TIMEOUT(m_device->device().receivedCommands().size(), sends, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(m_host->timeouts.load(), timeouts, 15000);
    QCOMPARE(m_host->resends.load(), sends - 1);

    // The next command goes and is answered.
    roundTrip(command(0x43, 0x00));
    QCOMPARE(m_host->timeouts.load(), timeouts);
    QCOMPARE(m_host->replies.size(), 1);
    QCOMPARE(m_host->replies.first().byCmd, static_cast<unsigned char>(0x43));
}

void TestUdpEndToEnd::blockBurstsArriveWhole()
{
    // Every 30,000-byte block comes as 30 datagrams of 1,000 bytes back to back
    // while the receiving thread is also serving the host: none may be dropped.
    startDevice({1000});
    constexpr int kCommands = 20;
    for (int i = 0; i < kCommands; ++i)
        queueCommand(command(0xF1, 0x01, 30000));
    QTRY_COMPARE_WITH_TIMEOUT(m_host->replies.size() + m_host->timeouts, kCommands, 60000);
    QCOMPARE(m_host->timeouts.load(), 0);
    for (const ProtocolData &r : m_host->replies)
        QCOMPARE(r.baData.size(), 30000);
}

void TestUdpEndToEnd::twoDevicesOneAtATime()
{
    startDevice();
    UdpDevice second(QHostAddress(QStringLiteral("127.0.0.3")), 0);
    QVERIFY(second.start());

    roundTrip(command(0x42, 0x01));
    m_port->setDeviceIP(QStringLiteral("127.0.0.3"));
    m_port->setPort(second.port());
    roundTrip(command(0x42, 0x02));

    QCOMPARE(m_host->replies.size(), 2);
    QCOMPARE(m_host->replies.at(0).strSource, QStringLiteral("127.0.0.2"));
    QCOMPARE(m_host->replies.at(1).strSource, QStringLiteral("127.0.0.3"));
    QCOMPARE(m_device->device().receivedCommands().size(), 1);
    QCOMPARE(second.device().receivedCommands().size(), 1);
    QCOMPARE(second.device().receivedCommands().first().sub, quint8(0x02));
}

void TestUdpEndToEnd::floodLeavesTheHostResponsive()
{
    // Anyone on the LAN may send to the transport's socket. Five seconds of valid
    // replies (queued from the hand-off and queued at once), garbage and the largest
    // datagrams in turn, from 500 senders as fast as loopback takes them, while the
    // host keeps a command in flight: no command is let go by another's datagram,
    // the device's own replies answer the commands, the host thread's timer keeps
    // firing, memory stays bounded, and after the flood a command is answered at
    // once. The transport is built for 99 % answered, 90 % of the timer and 8 MB;
    // but for the share answered, the margins here are for a loaded machine. (bench_udp prints each flood's
    // figures, for 60 s.)
    using K = UdpFlood::Kind;
    UdpFlood::Figures f;
    QString error;
    QVERIFY2(UdpFlood::run({K::GeneralReplies, K::QueuedAtOnce, K::Garbage, K::Largest}, 5000, 30000, &f, &error, 500),
             qPrintable(error));
    qInfo("%lld datagrams (%llu refused by the transport, %llu dropped by the system): %d commands, %d answered by "
          "the device, %d given up, %d let go by others; timer %d of %d, RSS +%lld KB, peak queue %d, answered %lld ms "
          "after",
          f.datagramsSent, f.refusedByTransport, f.droppedBySystem, f.commands, f.answeredByDevice, f.givenUp, f.releasedByOthers, f.timerFirings, f.timerDue,
          f.rssPeakKb - f.rssBeforeKb, f.peakQueuedReplies, f.recoveryMs);
    QCOMPARE(f.releasedByOthers, 0);
    QVERIFY(f.commands > 0);
#ifndef VELMORA_SANITIZED
    // Where the system sieves other senders out, their flood never takes the room
    // the device's replies need. A sanitized build reads several times slower, and
    // where the flood comes in the system drops the device's replies with it.
    QVERIFY2(f.answeredByDevice * 100 >= f.commands * (SenderSieve::available() ? 99 : 90),
             qPrintable(QStringLiteral("%1 of %2").arg(f.answeredByDevice).arg(f.commands)));
    // Sieved out, the flood never costs the host thread a read: the transport
    // refuses only what came before the first command.
    if (SenderSieve::available())
        QVERIFY2(f.refusedByTransport * 100 < quint64(f.datagramsSent),
                 qPrintable(QStringLiteral("%1 of %2").arg(f.refusedByTransport).arg(f.datagramsSent)));
#endif
    QVERIFY2(f.timerFirings * 2 >= f.timerDue, qPrintable(QString::number(f.timerFirings)));
    QVERIFY(f.peakQueuedReplies <= ReplyHandOff::kMaxQueuedReplies);
    QVERIFY2(f.recoveryMs >= 0 && f.recoveryMs <= 20000, qPrintable(QString::number(f.recoveryMs)));
#ifndef VELMORA_SANITIZED
    // The sanitizers keep freed memory aside: resident memory says nothing there.
    QVERIFY2(f.rssPeakKb - f.rssBeforeKb <= 32 * 1024, qPrintable(QString::number(f.rssPeakKb - f.rssBeforeKb)));
#endif
}

QTEST_GUILESS_MAIN(TestUdpEndToEnd)
#include "tst_udpendtoend.moc"
