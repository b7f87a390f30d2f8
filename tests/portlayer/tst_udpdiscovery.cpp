// Discovery by broadcast and the default device address. Both send where a real
// network could be reached, so the whole suite runs in a private network of its
// own (see PrivateNetwork) and is skipped, saying why, where none can be made.

#include "dispatcherstate.h"
#include "framebuilder.h"
#include "logcapture.h"
#include "portudp.h"
#include "privatenetwork.h"
#include "refusedsends.h"
#include "replyhandoff.h"
#include "transporthost.h"
#include "udpdevice.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

#include <sys/resource.h>

#include <memory>

namespace {

ProtocolData command(unsigned char cmd, unsigned char mode, int blockSize = 0)
{
    ProtocolData c;
    c.byHead = 0x01;
    c.byCmd = cmd;
    c.bySendMode = mode;
    c.baData = QByteArray(blockSize, 'd');
    c.iTimeoutMs = 3000;
    return c;
}

} // namespace

class TestUdpDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void broadcastFindsEveryDevice();
    void thousandDevicesAnswerOneBroadcast();
    void broadcastIsOneDatagram_data();
    void broadcastIsOneDatagram();
    void answersAwaitedOutlastAUnicast();
    void aBroadcastAfterAUnicastHearsEveryDevice();
    void defaultAddressUntilSetDeviceIP();

private:
    // Devices on 127.0.0.2, 127.0.0.3, ... sharing one port.
    void startDevices(int count);

    std::vector<std::unique_ptr<UdpDevice>> m_devices;
    quint16 m_port = 0;
    std::unique_ptr<QuietDebugLog> m_quiet;
};

void TestUdpDiscovery::initTestCase()
{
    const QString reason = PrivateNetwork::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(QStringLiteral("broadcasts need a private network namespace, and there is none: ")
                         + reason));
    m_quiet = std::make_unique<QuietDebugLog>();
}

void TestUdpDiscovery::cleanupTestCase()
{
    m_quiet.reset();
}

void TestUdpDiscovery::init()
{
    resetDispatcherState();
}

void TestUdpDiscovery::cleanup()
{
    m_devices.clear();
    resetDispatcherState();
}

void TestUdpDiscovery::startDevices(int count)
{
    m_port = 0;
    for (int i = 0; i < count; ++i) {
        const QHostAddress address(QStringLiteral("127.0.0.%1").arg(2 + i));
        m_devices.push_back(std::make_unique<UdpDevice>(address, m_port));
        QString error;
        QVERIFY2(m_devices.back()->start(&error), qPrintable(error));
        QVERIFY(m_devices.back()->listensForBroadcast());
        m_port = m_devices.back()->port();
    }
    if (m_port == 0)
        m_port = 47000; // nobody there
}

void TestUdpDiscovery::broadcastFindsEveryDevice()
{
    startDevices(2);
    PortUDP port;
    port.setPort(m_port);
    TransportHost host(&port);

    queueCommand(command(0x71, 1));
    QTRY_COMPARE_WITH_TIMEOUT(host.replies.size(), 2, 15000);
    // While the answers are awaited, a sender whose datagrams answer no broadcast
    // is no device: another serial number, another command, noise.
    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress(QStringLiteral("127.0.0.9")), 0));
    for (const QByteArray &d : {QByteArray("[R0102710000000074]"), QByteArray("[R0101720000000074]"), QByteArray(5, 'x')})
        stranger.writeDatagram(d, QHostAddress::LocalHost, port.m_udpSocket->localPort());
    QTRY_COMPARE_WITH_TIMEOUT(port.refusedDatagrams(), quint64(3), 15000);
    QStringList from;
    for (const ProtocolData &r : host.replies) {
        QCOMPARE(r.bySN, static_cast<unsigned char>(1));
        QCOMPARE(r.strLabel, r.strSource);
        from.append(r.strSource);
    }
    from.sort();
    QCOMPARE(from, (QStringList{"127.0.0.2", "127.0.0.3"}));

    // Choose one; from now on it alone is addressed.
    port.setDeviceIP(QStringLiteral("127.0.0.3"));
    queueCommand(command(0x72, 0));
    QTRY_COMPARE_WITH_TIMEOUT(host.replies.size(), 3, 15000);
    QCOMPARE(host.replies.last().byCmd, static_cast<unsigned char>(0x72));
    QCOMPARE(host.replies.last().strSource, QStringLiteral("127.0.0.3"));
    QCOMPARE(m_devices.at(0)->device().receivedCommands().size(), 1);
    QCOMPARE(m_devices.at(1)->device().receivedCommands().size(), 2);

    QCOMPARE(host.timeouts.load(), 0);
}

void TestUdpDiscovery::thousandDevicesAnswerOneBroadcast()
{
    // A thousand devices on 127.0.0.2 onwards answer one broadcast, one after
    // another: the receive queue holds every answer until the receive worker
    // starts, and every one reaches the host with its sender.
    constexpr int kDevices = 1000;
    QVERIFY(kDevices <= ReplyHandOff::kMaxQueuedReplies);
    // A socket per address.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur < rlim_t(kDevices + 100))
        QSKIP("a thousand devices need more open files than this process may have");
    UdpDevice devices(QHostAddress(QStringLiteral("127.0.0.2")), 0, {SimProfile::kDefaultBlockDatagram}, kDevices);
    QString error;
    QVERIFY2(devices.start(&error), qPrintable(error));
    QVERIFY(devices.listensForBroadcast());

    PortUDP port;
    port.setPort(devices.port());
    ProtocolData c = command(0x71, 1);
    c.bySN = 0x01;
    // A host that asks a thousand devices listens as long as they may take: on a
    // loaded machine their answers come at a few hundred a second.
    c.iTimeoutMs = 30000;
    port.sendDatatoDevice(&c);
    QTRY_COMPARE_WITH_TIMEOUT(CmdDealModule::replyQueueSize(), kDevices, 30000);
    QCOMPARE(devices.device().receivedCommands().size(), 1);

    TransportHost host(&port);
    QTRY_COMPARE_WITH_TIMEOUT(host.replies.size(), kDevices, 60000);
    QSet<QString> from;
    for (const ProtocolData &r : host.replies) {
        QCOMPARE(r.bySN, static_cast<unsigned char>(1));
        from.insert(r.strSource);
    }
    QCOMPARE(from.size(), kDevices);
    QVERIFY(from.contains(QStringLiteral("127.0.0.2")) && from.contains(QStringLiteral("127.0.3.233")));
}

void TestUdpDiscovery::broadcastIsOneDatagram_data()
{
    QTest::addColumn<int>("blockSize");
    // A held reply waits for the rest of its block when the broadcast leaves.
    QTest::addColumn<bool>("holding");
    // 0: the socket sends it; otherwise the count it returns instead, sending nothing.
    QTest::addColumn<int>("shortCount");
    QTest::newRow("frame only") << 0 << false << 0;
    QTest::newRow("619 bytes") << 600 << false << 0;
    QTest::newRow("2019 bytes") << 2000 << false << 0;
    QTest::newRow("a broadcast ends an incomplete hold") << 0 << true << 0;
    QTest::newRow("a short count rebuilds the socket") << 0 << false << 5;
}

void TestUdpDiscovery::broadcastIsOneDatagram()
{
    QFETCH(int, blockSize);
    QFETCH(bool, holding);
    QFETCH(int, shortCount);

    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress(QHostAddress::Broadcast), 0, QUdpSocket::ShareAddress));
    PortUDP port;
    port.setPort(listener.localPort());
    const quint16 portBefore = port.m_udpSocket->localPort();
    if (holding) {
        QUdpSocket device;
        QVERIFY(device.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        port.setDeviceIP(QStringLiteral("127.0.0.2"));
        // 0x79/0x01 announcing 16 bytes, and 10 of them.
        device.writeDatagram("[R0109790100100094]", QHostAddress::LocalHost, portBefore);
        device.writeDatagram(QByteArray(10, 'b'), QHostAddress::LocalHost, portBefore);
        QTRY_COMPARE_WITH_TIMEOUT(port.m_blockCmdBuff.size(), 10, 10000);
    }
    LogCapture log;
    ProtocolData c = command(0x42, 1, blockSize);
    if (shortCount > 0)
        RefusedSends::arm(0, shortCount);
    port.sendDatatoDevice(&c);
    QCOMPARE(RefusedSends::disarm(), shortCount > 0 ? 1 : 0);
    QVERIFY(port.m_stdCmdBuff.isEmpty() && port.m_blockCmdBuff.isEmpty());
    if (shortCount > 0) {
        QCOMPARE(log.count(QStringLiteral("Send Broadcast unknown")), 1);
        QTRY_VERIFY_WITH_TIMEOUT(port.m_udpSocket->localPort() != portBefore, 10000);
    }
    ProtocolData end = command(0x43, 1);
    port.sendDatatoDevice(&end);

    QList<QByteArray> got;
    auto drain = [&] {
        while (listener.hasPendingDatagrams())
            got.append(listener.receiveDatagram().data());
        return got.size();
    };
    if (shortCount > 0) {
        QTRY_COMPARE_WITH_TIMEOUT(drain(), 1, 10000);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(drain(), 2, 10000);
        QCOMPARE(got.at(0).size(), 19 + blockSize);
    }
    QCOMPARE(got.last().size(), 19);
}

void TestUdpDiscovery::answersAwaitedOutlastAUnicast()
{
    // A command to the device may leave while a broadcast's answers are still
    // awaited (the first answer releases it): the devices that answer later must
    // still be heard, so the system may not sieve them out yet.
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress(QHostAddress::Broadcast), 0, QUdpSocket::ShareAddress));
    PortUDP port;
    port.setPort(listener.localPort());
    port.setDeviceIP(QStringLiteral("127.0.0.2"));
    ProtocolData broadcast = command(0x71, 1);
    broadcast.bySN = 0x05;
    port.sendDatatoDevice(&broadcast);
    ProtocolData unicast = command(0x42, 0);
    unicast.bySN = 0x06;
    port.sendDatatoDevice(&unicast);

    QUdpSocket late;
    QVERIFY(late.bind(QHostAddress(QStringLiteral("127.0.0.5")), 0));
    const QByteArray answer = FrameBuilder::reply(0x01, 0x05, 0x71, 0x00, 0, 0, 0);
    QCOMPARE(late.writeDatagram(answer, QHostAddress::LocalHost, port.m_udpSocket->localPort()), qint64(answer.size()));
    QTRY_COMPARE_WITH_TIMEOUT(port.m_lastDatagram, answer, 10000);
    QCOMPARE(port.refusedDatagrams() + port.droppedBySystem(), quint64(0));
}

void TestUdpDiscovery::aBroadcastAfterAUnicastHearsEveryDevice()
{
    // Addressing one device sieves the others out; a broadcast hears them all again.
    startDevices(2);
    PortUDP port;
    port.setPort(m_port);
    port.setDeviceIP(QStringLiteral("127.0.0.3"));
    TransportHost host(&port);
    queueCommand(command(0x72, 0));
    QTRY_COMPARE_WITH_TIMEOUT(host.replies.size(), 1, 15000);
    QCOMPARE(host.replies.first().strSource, QStringLiteral("127.0.0.3"));

    queueCommand(command(0x71, 1));
    QTRY_COMPARE_WITH_TIMEOUT(host.replies.size(), 3, 15000);
    QStringList from{host.replies.at(1).strSource, host.replies.at(2).strSource};
    from.sort();
    QCOMPARE(from, (QStringList{"127.0.0.2", "127.0.0.3"}));
    QCOMPARE(host.timeouts.load(), 0);
}

void TestUdpDiscovery::defaultAddressUntilSetDeviceIP()
{
    QString error;
    QVERIFY2(PrivateNetwork::addAddress(QStringLiteral("%1/32").arg(QLatin1String(PortUDP::kDefaultDeviceIP)), &error),
             qPrintable(error));
    UdpDevice device(QHostAddress(QLatin1String(PortUDP::kDefaultDeviceIP)), 0);
    QVERIFY2(device.start(&error), qPrintable(error));

    PortUDP port;
    port.setPort(device.port());
    TransportHost host(&port);
    queueCommand(command(0x42, 0));
    QTRY_COMPARE_WITH_TIMEOUT(host.replies.size(), 1, 15000);
    QCOMPARE(host.replies.first().strSource, QString::fromLatin1(PortUDP::kDefaultDeviceIP));
    QCOMPARE(device.device().receivedCommands().size(), 1);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int exitCode = 0;
    if (PrivateNetwork::runInside(argc, argv, &exitCode))
        return exitCode;
    TestUdpDiscovery test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_udpdiscovery.moc"
