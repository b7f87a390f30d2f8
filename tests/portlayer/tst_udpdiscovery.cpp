// Discovery by broadcast and the default device address. Both send where a real
// network could be reached, so the whole suite runs in a private network of its
// own (see PrivateNetwork) and is skipped, saying why, where none can be made.

#include "dispatcherstate.h"
#include "logcapture.h"
#include "portudp.h"
#include "privatenetwork.h"
#include "transporthost.h"
#include "udpdevice.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

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
    void broadcastIsOneDatagram_data();
    void broadcastIsOneDatagram();
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

void TestUdpDiscovery::broadcastIsOneDatagram_data()
{
    QTest::addColumn<int>("blockSize");
    QTest::newRow("frame only") << 0;
    QTest::newRow("619 bytes") << 600;
    QTest::newRow("2019 bytes") << 2000;
}

void TestUdpDiscovery::broadcastIsOneDatagram()
{
    QFETCH(int, blockSize);

    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress(QHostAddress::Broadcast), 0, QUdpSocket::ShareAddress));
    PortUDP port;
    port.setPort(listener.localPort());
    ProtocolData c = command(0x42, 1, blockSize);
    port.sendDatatoDevice(&c);
    ProtocolData end = command(0x43, 1);
    port.sendDatatoDevice(&end);

    QList<QByteArray> got;
    auto drain = [&] {
        while (listener.hasPendingDatagrams())
            got.append(listener.receiveDatagram().data());
        return got.size();
    };
    QTRY_COMPARE_WITH_TIMEOUT(drain(), 2, 10000);
    QCOMPARE(got.at(0).size(), 19 + blockSize);
    QCOMPARE(got.at(1).size(), 19);
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
