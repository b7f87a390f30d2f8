// The UDP transport through its own operations, with a plain socket on loopback
// standing in for the device. Broadcasts are left to the private-network suite.

#include "dispatcherstate.h"
#include "framebuilder.h"
#include "logcapture.h"
#include "portudp.h"
#include "refusedsends.h"
#include "replyhandoff.h"
#include "sendersieve.h"
#include "threadlesschild.h"

#include <QMetaMethod>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const auto kDeviceType = ModulelEnum::DeviceDisplay;

QByteArray reply(unsigned char cmd, unsigned char sub, unsigned char p2 = 0, unsigned char p3 = 0)
{
    return FrameBuilder::reply(0x01, 0x09, cmd, sub, 0, p2, p3);
}

QByteArray bytes(int n, char fill = 'b')
{
    return QByteArray(n, fill);
}

ProtocolData command(unsigned char cmd, int blockSize = 0, unsigned char mode = 0)
{
    ProtocolData c;
    c.byHead = 0x01;
    c.bySN = 0x01;
    c.byCmd = cmd;
    c.baData = bytes(blockSize, 'c');
    c.bySendMode = mode;
    c.byCheckSum = 0x33; // recomputed by the transport
    return c;
}

// "f1:300" for each reply queued; sorted, since threads queue them in any order.
QStringList queued()
{
    QStringList out;
    for (const ProtocolData &r : takeQueuedReplies())
        out.append(QStringLiteral("%1:%2").arg(r.byCmd, 2, 16, QLatin1Char('0')).arg(r.baData.size()));
    std::sort(out.begin(), out.end());
    return out;
}

// Stand in a table of datagrams for the host sending a command between two of them:
// one at a time (serial number 1), or released without waiting for replies (the
// dispatcher's nSysPlan): serial number 2, after 1 a new command, after 2 a resend.
const QByteArray kHostSends = "(the host sends a command)";
const QByteArray kHostSendsNext = "(the host sends the next command, not waiting)";
const QByteArray kHostResends = "(the host resends the last command, not waiting)";
// Marks a datagram that comes from another sender than the device's.
const QByteArray kFromStranger = "(from 127.0.0.3)";

// Hands the transport jobs that would each start a thread, in a child that may
// start none. 0 when every job still did its work, once the debug log had said so;
// otherwise which check failed.
int runWithoutThreads(PortUDP *port)
{
    LogCapture log;
    const QHostAddress sender(QStringLiteral("127.0.0.2"));
    port->handleDatagram("[R010178000000007a]", sender);
    port->handleDatagram(reply(0x79, 0x01, 0x04), sender);
    port->handleDatagram(bytes(4), sender);
    port->clearQueue();
    if (CmdDealModule::replyQueueSize() != 2)
        return 13;
    if (CmdDealModule::commandQueueSize() != 0)
        return 14;
    if (log.lines().filter(QStringLiteral("No thread for a job")).size() != 1)
        return 15;
    return 0;
}

// Exposes who listens to a signal.
class InspectablePortUDP : public PortUDP
{
public:
    using QObject::receivers;
};

} // namespace

class TestPortUDP : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void construction();
    void metaObject();
    void autoRec_data();
    void autoRec();
    void receive_data();
    void receive();
    void queueNowIsQueuedBeforeReturning();
    void mappedSenderAddress();
    void unicastIsSplit_data();
    void unicastIsSplit();
    void otherSendModesSendNothing();
    void addressesThatNameNoDevice_data();
    void addressesThatNameNoDevice();
    void strangersAreSievedOnceACommandLeft_data();
    void strangersAreSievedOnceACommandLeft();
    void rebuilds_data();
    void rebuilds();
    void repeatedRebuildKeepsOneConnection();
    void deleteWhileJobsAreRunning_data();
    void deleteWhileJobsAreRunning();
    void deleteWithDatagramsPending();
    void clearQueueAndRetFlag();
    void jobsRunInlineWithoutThreads();

private:
    // Sends datagrams from the peer and waits until the transport has read them all.
    void deliver(const QList<QByteArray> &datagrams);
    // Datagrams the peer received, waiting (up to 10 s) for count of them.
    QList<QByteArray> receivedByPeer(int count);

    std::unique_ptr<InspectablePortUDP> m_port;
    std::unique_ptr<QUdpSocket> m_peer;
    std::unique_ptr<QUdpSocket> m_stranger;
};

void TestPortUDP::init()
{
    resetDispatcherState();
    CmdDealModule::bRetFlag = false;
    m_port = std::make_unique<InspectablePortUDP>();
    m_port->setDeviceType(kDeviceType);
    m_peer = std::make_unique<QUdpSocket>();
    QVERIFY(m_peer->bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    m_stranger = std::make_unique<QUdpSocket>();
    QVERIFY(m_stranger->bind(QHostAddress(QStringLiteral("127.0.0.3")), 0));
}

void TestPortUDP::cleanup()
{
    m_port.reset();
    m_peer.reset();
    m_stranger.reset();
    resetDispatcherState();
}

void TestPortUDP::deliver(const QList<QByteArray> &datagrams)
{
    const quint16 port = m_port->m_udpSocket->localPort();
    // The peer is the device.
    m_port->setDeviceIP(QStringLiteral("127.0.0.2"));
    m_port->m_lastDatagram = "(read)";
    for (const QByteArray &d : datagrams) {
        if (d == kHostSends || d == kHostSendsNext || d == kHostResends) {
            m_port->setDeviceIP(QStringLiteral("127.0.0.2"));
            m_port->setPort(m_peer->localPort());
            ProtocolData c = command(0x42);
            if (d != kHostSends) {
                CmdDealModule::nSysPlan = 1;
                c.bySN = 0x02;
            }
            m_port->sendDatatoDevice(&c);
            QCOMPARE(receivedByPeer(1).size(), 1);
            continue;
        }
        if (d.startsWith(kFromStranger)) {
            // Refused before it is decoded: counted, and nothing else changes.
            const QByteArray datagram = d.mid(kFromStranger.size());
            const quint64 refused = m_port->refusedDatagrams() + m_port->droppedBySystem();
            QCOMPARE(m_stranger->writeDatagram(datagram, QHostAddress::LocalHost, port), qint64(datagram.size()));
            QTRY_COMPARE_WITH_TIMEOUT(m_port->refusedDatagrams() + m_port->droppedBySystem(), refused + 1, 10000);
            QCOMPARE(m_port->m_lastDatagram, QByteArray("(read)"));
            continue;
        }
        QCOMPARE(m_peer->writeDatagram(d, QHostAddress::LocalHost, port), qint64(d.size()));
        // One at a time: the transport must have read this one before the next,
        // so the order of arrival is the order of the table.
        QTRY_VERIFY_WITH_TIMEOUT(m_port->m_lastDatagram == d && !m_peer->hasPendingDatagrams(), 10000);
        m_port->m_lastDatagram = "(read)";
    }
}

QList<QByteArray> TestPortUDP::receivedByPeer(int count)
{
    QList<QByteArray> got;
    auto drain = [&] {
        while (m_peer->hasPendingDatagrams())
            got.append(m_peer->receiveDatagram().data());
        return got.size();
    };
    (void)QTest::qWaitFor([&] { return drain() >= count; }, 10000);
    return got;
}

void TestPortUDP::construction()
{
    QCOMPARE(m_port->m_deviceIP, QString::fromLatin1(PortUDP::kDefaultDeviceIP));
    QVERIFY(QHostAddress(m_port->m_deviceIP).protocol() == QAbstractSocket::IPv4Protocol);
    QCOMPARE(m_port->m_port, 0);
    QVERIFY(m_port->bEnabled);
    QVERIFY(m_port->m_udpSocket);
    QCOMPARE(m_port->m_udpSocket->state(), QAbstractSocket::BoundState);
    // Bound at once, so the receive buffer option took effect (the system may double it).
    QVERIFY(m_port->m_udpSocket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt()
            >= PortUDP::kReceiveBufferSize);
    QVERIFY(!m_port->openSerialPort(QStringLiteral("/dev/ttyS0"), QSerialPort::Baud9600, QSerialPort::OneStop,
                                    QSerialPort::NoParity, QSerialPort::NoFlowControl, QSerialPort::Data8));
    QVERIFY(!m_port->openUSB(0x1234, 0x5678));
    m_port->closeSerialPort();
    m_port->closeUSB();
    QCOMPARE(m_port->m_deviceIP, QString::fromLatin1(PortUDP::kDefaultDeviceIP));
    QCOMPARE(m_port->combineTwoByte(0x52, 0x05), static_cast<unsigned short>(1362));
    QCOMPARE(m_port->changeData(QByteArray::fromHex("01020304050607")), QByteArray("[A01020304050607]"));
}

void TestPortUDP::metaObject()
{
    const QMetaObject &mo = PortUDP::staticMetaObject;
    QCOMPARE(mo.className(), "PortUDP");
    QCOMPARE(mo.superClass()->className(), "PortBase");
    const QList<QPair<QMetaMethod::MethodType, QByteArray>> expected = {
        {QMetaMethod::Signal, "signalReInitUdp()"},
        {QMetaMethod::Signal, "signalUSBChanged(bool)"},
        {QMetaMethod::Signal, "signalSendReceiveMessageToUiPro(void*)"},
        {QMetaMethod::Slot, "reInitUdp()"},
        {QMetaMethod::Slot, "reInitUdpKOVA()"},
        {QMetaMethod::Slot, "readPendingDatagrams()"},
        {QMetaMethod::Slot, "sendDatatoDevice(void*)"},
        {QMetaMethod::Slot, "processInfoDisplayonUI(void*)"},
    };
    QCOMPARE(mo.methodCount() - mo.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod m = mo.method(mo.methodOffset() + i);
        QCOMPARE(m.methodType(), expected.at(i).first);
        QCOMPARE(m.methodSignature(), expected.at(i).second);
    }
    QCOMPARE(mo.method(mo.methodOffset() + 6).parameterNames(), QList<QByteArray>{"parameters"});
}

void TestPortUDP::autoRec_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << "" << "00";
    QTest::newRow("digit") << "7" << "07";
    QTest::newRow("letter") << "A" << "0A";
    QTest::newRow("two") << "12" << "12";
    QTest::newRow("three") << "123" << "123";
}

void TestPortUDP::autoRec()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(m_port->autoRec(text), expected);
}

void TestPortUDP::receive_data()
{
    QTest::addColumn<QList<QByteArray>>("datagrams");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("replies"); // "cmd:block bytes", sorted
    QTest::addColumn<bool>("retFlag");        // bRetFlag afterwards; false before
    QTest::addColumn<QByteArray>("held");
    QTest::addColumn<int>("gathered"); // bytes in m_blockCmdBuff afterwards

    const QByteArray held300 = reply(0xF1, 0x40, 0x2C, 0x01);
    const QByteArray held16 = reply(0x79, 0x01, 0x10);
    QTest::newRow("reply") << QList<QByteArray>{"[R010178000000007a]"} << true << QStringList{"78:0"} << true
                           << QByteArray() << 0;
    QTest::newRow("wrong checksum while idle") << QList<QByteArray>{"[R0101780000000079]"} << true << QStringList()
                                               << true << QByteArray() << 0;
    QTest::newRow("18 bytes while idle") << QList<QByteArray>{"[R010178000000007a"} << true << QStringList()
                                         << true << QByteArray() << 0;
    QTest::newRow("empty datagram while idle") << QList<QByteArray>{QByteArray()} << true << QStringList() << true
                                               << QByteArray() << 0;
    QTest::newRow("79/0c at once") << QList<QByteArray>{reply(0x79, 0x0C)} << true << QStringList{"79:0"} << true
                                   << QByteArray() << 0;
    QTest::newRow("79/01 held") << QList<QByteArray>{held16} << true << QStringList() << false << held16 << 0;
    QTest::newRow("held 300, 200 + 150") << QList<QByteArray>{held300, bytes(200), bytes(150)} << true
                                         << QStringList{"f1:300"} << true << QByteArray() << 0;
    QTest::newRow("held 300, 200 so far") << QList<QByteArray>{held300, bytes(200)} << true << QStringList()
                                          << false << held300 << 200;
    QTest::newRow("odd sizes are block bytes") << QList<QByteArray>{held16, bytes(18, 'x'), bytes(20)} << true
                                               << QStringList{"79:16"} << true << QByteArray() << 0;
    QTest::newRow("8b/05 with 100 of 145") << QList<QByteArray>{reply(0x8B, 0x05, 0x64), bytes(100)} << true
                                           << QStringList{"8b:100"} << true << QByteArray() << 0;
    QTest::newRow("announced 32768") << QList<QByteArray>{reply(0x79, 0x01, 0x00, 0x80), bytes(10)} << true
                                     << QStringList() << true << QByteArray() << 0;
    QTest::newRow("reply while holding") << QList<QByteArray>{held300, "[R010178000000007a]", bytes(300)} << true
                                         << QStringList{"78:0", "f1:300"} << true << QByteArray() << 0;
    QTest::newRow("hold replaced, block afresh") << QList<QByteArray>{held300, bytes(200), held16, bytes(16, 'x')}
                                                 << true << QStringList{"79:16"} << true << QByteArray() << 0;
    // A block incomplete when the next command leaves never gets bytes of the next answer.
    QTest::newRow("command sent ends an incomplete hold")
        << QList<QByteArray>{held16, bytes(10), kHostSends, bytes(19, 'z')} << true << QStringList() << true
        << QByteArray() << 0;
    QTest::newRow("block complete before the command")
        << QList<QByteArray>{held16, bytes(16, 'x'), kHostSends} << true << QStringList{"79:16"} << true
        << QByteArray() << 0;
    QTest::newRow("disabled: 79/0c is not queued at once either") << QList<QByteArray>{reply(0x79, 0x0C)} << false
                                                                  << QStringList() << false << QByteArray() << 0;
    // Released without waiting for replies, the next command leaving says nothing
    // about a block still coming; a resend does.
    QTest::newRow("not waiting: the next command leaves, the block completes")
        << QList<QByteArray>{held16, bytes(10, 'x'), kHostSendsNext, bytes(6, 'x')} << true << QStringList{"79:16"}
        << true << QByteArray() << 0;
    QTest::newRow("not waiting: a resend ends an incomplete hold")
        << QList<QByteArray>{held16, bytes(10, 'x'), kHostSendsNext, kHostResends, bytes(6, 'x')} << true
        << QStringList() << false << QByteArray() << 0;
    QTest::newRow("another sender's bytes do not complete a hold")
        << QList<QByteArray>{held16, bytes(10, 'x'), kFromStranger + bytes(6, 'b'), bytes(6, 'x')} << true
        << QStringList{"79:16"} << true << QByteArray() << 0;
    // Only the device answers: what others send never reaches the dispatcher.
    QTest::newRow("another sender's reply is refused")
        << QList<QByteArray>{kFromStranger + "[R010178000000007a]"} << true << QStringList() << false << QByteArray()
        << 0;
    QTest::newRow("another sender's noise releases nothing")
        << QList<QByteArray>{kFromStranger + bytes(5)} << true << QStringList() << false << QByteArray() << 0;
    QTest::newRow("another sender's hold does not replace the device's")
        << QList<QByteArray>{held16, kFromStranger + reply(0x79, 0x01, 0x20), bytes(16, 'x')} << true
        << QStringList{"79:16"} << true << QByteArray() << 0;
    QTest::newRow("another sender's noise does not lose a hold")
        << QList<QByteArray>{held16, kFromStranger + bytes(5), kFromStranger + bytes(19), bytes(10, 'x')} << true
        << QStringList() << false << held16 << 10;
    // The rest of a block whose wait a departing command ended is no answer to it.
    QTest::newRow("leftovers of an ended hold release nothing")
        << QList<QByteArray>{held16, bytes(10), kHostSends, bytes(4), bytes(2)} << true << QStringList() << false
        << QByteArray() << 0;
    QTest::newRow("more than the leftovers is taken as before")
        << QList<QByteArray>{held16, bytes(10), kHostSends, bytes(4), bytes(3)} << true << QStringList() << true
        << QByteArray() << 0;
    QTest::newRow("disabled: nothing queued") << QList<QByteArray>{"[R010178000000007a]", held16, bytes(16)} << false
                                              << QStringList() << false << QByteArray() << 0;
    QTest::newRow("disabled: failed join still releases") << QList<QByteArray>{bytes(5)} << false << QStringList()
                                                          << true << QByteArray() << 0;
}

void TestPortUDP::receive()
{
    QFETCH(QList<QByteArray>, datagrams);
    QFETCH(bool, enabled);
    QFETCH(QStringList, replies);
    QFETCH(bool, retFlag);
    QFETCH(QByteArray, held);
    QFETCH(int, gathered);

    m_port->bEnabled = enabled;
    deliver(datagrams);
    QCOMPARE(m_port->m_stdCmdBuff, held);
    QCOMPARE(m_port->m_blockCmdBuff.size(), gathered);
    if (gathered > 0)
        QCOMPARE(m_port->m_blockCmdBuff, datagrams.last());
    // Deleting the transport waits for its queueing and joining threads.
    m_port.reset();
    const QList<ProtocolData> all = takeQueuedReplies();
    QStringList got;
    for (const ProtocolData &r : all) {
        got.append(QStringLiteral("%1:%2").arg(r.byCmd, 2, 16, QLatin1Char('0')).arg(r.baData.size()));
        // Every reply says who sent it, one joined with its block too.
        QCOMPARE(r.strSource, QStringLiteral("127.0.0.2"));
        QCOMPARE(r.strLabel, r.strSource);
        QCOMPARE(r.byReplySource, static_cast<unsigned char>(0));
        QCOMPARE(r.iDeviceType, kDeviceType);
        for (int i = 0; i < r.baData.size(); ++i)
            QVERIFY(r.baData.at(i) == 'b' || r.baData.at(i) == 'x');
        if (r.byCmd == 0x79 && !r.baData.isEmpty())
            QCOMPARE(r.baData, bytes(16, 'x'));
    }
    std::sort(got.begin(), got.end());
    QCOMPARE(got, replies);
    QCOMPARE(bool(CmdDealModule::bRetFlag), retFlag);
}

void TestPortUDP::queueNowIsQueuedBeforeReturning()
{
    const QHostAddress sender(QStringLiteral("127.0.0.2"));
    m_port->handleDatagram(reply(0x79, 0x0C), sender);
    QCOMPARE(CmdDealModule::replyQueueSize(), 1);
    QVERIFY(CmdDealModule::bRetFlag);

    CmdDealModule::bRetFlag = false;
    m_port->handleDatagram(reply(0x79, 0x01, 0x04), sender);
    QCOMPARE(m_port->m_stdCmdBuff, reply(0x79, 0x01, 0x04));
    QCOMPARE(CmdDealModule::replyQueueSize(), 1);
    QVERIFY(!CmdDealModule::bRetFlag);
}

void TestPortUDP::mappedSenderAddress()
{
    LogCapture log;
    m_port->handleDatagram(reply(0x79, 0x0C), QHostAddress(QStringLiteral("::ffff:192.0.2.20")));
    const QList<ProtocolData> replies = takeQueuedReplies();
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first().strLabel, QStringLiteral("192.0.2.20"));
    QCOMPARE(replies.first().strSource, QStringLiteral("192.0.2.20"));
    QVERIFY(log.lines().contains(QStringLiteral("Recv data:") + QString::fromLatin1(reply(0x79, 0x0C))));
    QVERIFY(log.lines().contains(QStringLiteral("host ip:192.0.2.20")));
}

void TestPortUDP::unicastIsSplit_data()
{
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<QList<int>>("datagrams");

    QTest::newRow("frame only") << 0 << QList<int>{19};
    QTest::newRow("540 in all") << 521 << QList<int>{540};
    QTest::newRow("541 in all") << 522 << QList<int>{540, 1};
    QTest::newRow("619 in all") << 600 << QList<int>{540, 79};
    QTest::newRow("1080 in all") << 1061 << QList<int>{540, 540};
}

void TestPortUDP::unicastIsSplit()
{
    QFETCH(int, blockSize);
    QFETCH(QList<int>, datagrams);

    LogCapture log;
    m_port->setDeviceIP(QStringLiteral("127.0.0.2"));
    m_port->setPort(m_peer->localPort());
    ProtocolData c = command(0x78, blockSize);
    m_port->sendDatatoDevice(&c);
    QCOMPARE(c.byCheckSum, static_cast<unsigned char>(0x33));

    const QList<QByteArray> got = receivedByPeer(datagrams.size());
    QList<int> sizes;
    QByteArray joined;
    for (const QByteArray &d : got) {
        sizes.append(d.size());
        joined += d;
    }
    QCOMPARE(sizes, datagrams);
    QCOMPARE(joined, QByteArray("[A010178000000007a]") + c.baData);
    QCOMPARE(log.count(QStringLiteral("Send successful")), 1);
    QVERIFY(log.lines().contains(QStringLiteral("Send data:[A010178000000007a]") + QString::fromLatin1(c.baData)));
}

void TestPortUDP::otherSendModesSendNothing()
{
    LogCapture log;
    m_port->setDeviceIP(QStringLiteral("127.0.0.2"));
    m_port->setPort(m_peer->localPort());
    for (unsigned char mode : {2, 7, 255}) {
        ProtocolData c = command(0x42, 0, mode);
        m_port->sendDatatoDevice(&c);
    }
    QCOMPARE(log.count(QStringLiteral("Send data abnormal")), 3);
    ProtocolData next = command(0x43);
    m_port->sendDatatoDevice(&next);
    // The first thing the peer gets is the command sent afterwards.
    QCOMPARE(receivedByPeer(1).first().mid(6, 2), QByteArray("43"));
}

void TestPortUDP::addressesThatNameNoDevice_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << "";
    QTest::newRow("not an address") << "device.local";
    QTest::newRow("IPv4 any") << "0.0.0.0";
    QTest::newRow("IPv6 any") << "::";
}

void TestPortUDP::addressesThatNameNoDevice()
{
    QFETCH(QString, address);

    // A listener on every local address: a send that went to "this machine" would land here.
    QUdpSocket local;
    QVERIFY(local.bind(QHostAddress(QHostAddress::Any), 0));
    m_port->setDeviceIP(address);
    m_port->setPort(local.localPort());
    LogCapture log;
    QSignalSpy failed(m_port->notices(), &PortNotices::signalSendFailed);
    ProtocolData c = command(0x42, 700);
    m_port->sendDatatoDevice(&c);
    QCOMPARE(log.count(QStringLiteral("Send failed")), 1);
    QCOMPARE(log.count(QStringLiteral("Send successful")), 0);
    QCOMPARE(failed.size(), 1);
    QVERIFY2(failed.at(0).at(0).toString().contains(QStringLiteral("no device address")),
             qPrintable(failed.at(0).at(0).toString()));

    m_port->setDeviceIP(QStringLiteral("127.0.0.1"));
    ProtocolData next = command(0x43);
    m_port->sendDatatoDevice(&next);
    QTRY_VERIFY_WITH_TIMEOUT(local.hasPendingDatagrams(), 10000);
    QCOMPARE(local.receiveDatagram().data().mid(6, 2), QByteArray("43"));
}

void TestPortUDP::rebuilds_data()
{
    // Each keeps the device address: hosts set it once, when they open, and the
    // next command must still reach the device.
    QTest::addColumn<QString>("how");
    QTest::newRow("reInitUdp") << "reInitUdp";
    QTest::newRow("reInitUdpKOVA") << "reInitUdpKOVA";
    // The device got the first piece of a command and not the second: the send says
    // so, and the socket is rebuilt later, through the queued signal.
    QTest::newRow("a piece refused after the first") << "partial send";
}

void TestPortUDP::rebuilds()
{
    QFETCH(QString, how);

    m_port->setDeviceIP(QStringLiteral("127.0.0.2"));
    m_port->setPort(m_peer->localPort());
    deliver({reply(0x79, 0x01, 0x10), bytes(5)});
    const quint16 oldPort = m_port->m_udpSocket->localPort();
    if (how == QLatin1String("reInitUdpKOVA")) {
        m_port->reInitUdpKOVA();
    } else if (how == QLatin1String("reInitUdp")) {
        m_port->reInitUdp();
    } else {
        LogCapture log;
        QSignalSpy failed(m_port->notices(), &PortNotices::signalSendFailed);
        RefusedSends::arm(1, -1);
        ProtocolData c = command(0x42, 600);
        m_port->sendDatatoDevice(&c);
        QCOMPARE(RefusedSends::disarm(), 1);
        QCOMPARE(log.count(QStringLiteral("Send unknown")), 1);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(receivedByPeer(1).size(), 1);
        QCOMPARE(m_port->m_udpSocket->localPort(), oldPort);
        QTRY_VERIFY_WITH_TIMEOUT(m_port->m_udpSocket->localPort() != oldPort, 10000);
    }
    QVERIFY(m_port->m_stdCmdBuff.isEmpty() && m_port->m_blockCmdBuff.isEmpty() && m_port->m_lastDatagram.isEmpty());
    QCOMPARE(m_port->m_deviceIP, QStringLiteral("127.0.0.2"));
    QVERIFY(m_port->m_udpSocket->localPort() != oldPort);

    LogCapture log;
    ProtocolData c = command(0x42, 700);
    m_port->sendDatatoDevice(&c);
    QCOMPARE(receivedByPeer(2).size(), 2);
    QCOMPARE(log.count(QStringLiteral("Send successful")), 1);

    // Replies reach the rebuilt socket.
    deliver({reply(0x79, 0x0C)});
    QCOMPARE(queued(), QStringList{"79:0"});
}

void TestPortUDP::strangersAreSievedOnceACommandLeft_data()
{
    QTest::addColumn<bool>("commandLeft");
    QTest::addColumn<bool>("rebuilt");
    QTest::addColumn<bool>("commandAfter");
    QTest::newRow("before any command") << false << false << false;
    QTest::newRow("after a command") << true << false << false;
    QTest::newRow("a rebuilt socket, no command yet") << true << true << false;
    QTest::newRow("a rebuilt socket, a command") << true << true << true;
}

void TestPortUDP::strangersAreSievedOnceACommandLeft()
{
    // Once a command went to the device, the system drops other senders' datagrams
    // before they take room in the socket's buffer, where it can; until then, and
    // where it cannot, the transport refuses them itself. Either way each is
    // counted once, and the device's datagrams still come in.
    QFETCH(bool, commandLeft);
    QFETCH(bool, rebuilt);
    QFETCH(bool, commandAfter);
    const QByteArray stranger = reply(0x42, 0x01, 0x66);
    auto send = [&] {
        ProtocolData c = command(0x42);
        m_port->sendDatatoDevice(&c);
        QCOMPARE(receivedByPeer(1).size(), 1);
    };
    auto strangerSends = [&] {
        QCOMPARE(m_stranger->writeDatagram(stranger, QHostAddress::LocalHost, m_port->m_udpSocket->localPort()),
                 qint64(stranger.size()));
        deliver({reply(0x42, 0x01, 0x01)});
        QCOMPARE(queued(), QStringList{"42:0"});
    };
    m_port->setDeviceIP(QStringLiteral("127.0.0.2"));
    m_port->setPort(m_peer->localPort());
    if (commandLeft)
        send();
    // Twice: what each old socket dropped is still counted.
    for (int round = 0; rebuilt && round < 2; ++round) {
        if (round > 0)
            send();
        strangerSends();
        const quint64 dropped = m_port->droppedBySystem();
        m_port->reInitUdp();
        QCOMPARE(m_port->droppedBySystem(), dropped);
    }
    if (commandAfter)
        send();
    const quint64 dropped = m_port->droppedBySystem();
    const quint64 refused = m_port->refusedDatagrams();
    strangerSends();

    const bool sieved = commandLeft && (!rebuilt || commandAfter) && SenderSieve::available();
    QCOMPARE(m_port->droppedBySystem() - dropped, quint64(sieved ? 1 : 0));
    QCOMPARE(m_port->refusedDatagrams() - refused, quint64(sieved ? 0 : 1));
}

void TestPortUDP::repeatedRebuildKeepsOneConnection()
{
    const char *signal = SIGNAL(signalReInitUdp());
    QCOMPARE(m_port->receivers(signal), 1);
    quint16 lastPort = m_port->m_udpSocket->localPort();
    for (int i = 0; i < 3; ++i) {
        emit m_port->signalReInitUdp();
        // Queued: nothing happens inside the emission.
        QCOMPARE(m_port->m_udpSocket->localPort(), lastPort);
        QTRY_VERIFY_WITH_TIMEOUT(m_port->m_udpSocket->localPort() != lastPort, 10000);
        lastPort = m_port->m_udpSocket->localPort();
        QCOMPARE(m_port->receivers(signal), 1);
    }
}

void TestPortUDP::deleteWhileJobsAreRunning_data()
{
    QTest::addColumn<QList<QByteArray>>("round"); // the datagrams of one round; each round queues one reply

    QTest::newRow("joins") << QList<QByteArray>{reply(0xF1, 0x40, 0x64), bytes(100)};
    QTest::newRow("queueing from a thread") << QList<QByteArray>{"[R010178000000007a]"};
}

void TestPortUDP::deleteWhileJobsAreRunning()
{
    QFETCH(QList<QByteArray>, round);

    // Each transport goes right after starting its threads, which may not have run
    // yet; they must not touch it afterwards (the sanitizer runs watch), and
    // nothing they were to queue is lost.
    const QHostAddress sender(QStringLiteral("127.0.0.2"));
    constexpr int kTransports = 40;
    constexpr int kRounds = 5;
    for (int t = 0; t < kTransports; ++t) {
        auto *port = new PortUDP;
        for (int i = 0; i < kRounds; ++i) {
            for (const QByteArray &datagram : round)
                port->handleDatagram(datagram, sender);
        }
        delete port;
    }
    QCOMPARE(CmdDealModule::replyQueueSize(), kTransports * kRounds);
}

void TestPortUDP::deleteWithDatagramsPending()
{
    const quint16 port = m_port->m_udpSocket->localPort();
    for (int i = 0; i < 50; ++i)
        m_peer->writeDatagram(i % 2 ? reply(0x79, 0x0C) : bytes(1000), QHostAddress::LocalHost, port);
    m_port.reset();
    QCOMPARE(CmdDealModule::replyQueueSize(), 0);
}

void TestPortUDP::clearQueueAndRetFlag()
{
    m_port->setRetFlagStatus(true);
    QVERIFY(CmdDealModule::bRetFlag);
    m_port->setRetFlagStatus(false);
    QVERIFY(!CmdDealModule::bRetFlag);

    ProtocolData c = command(0x42);
    for (int i = 0; i < 3; ++i)
        queueCommand(c);
    m_port->clearQueue();
    m_port.reset(); // waits for the clearing thread
    QCOMPARE(CmdDealModule::commandQueueSize(), 0);
    QVERIFY(CmdDealModule::bRetFlag);
    QCOMPARE(CmdDealModule::iSN.load(), 2);
}

void TestPortUDP::jobsRunInlineWithoutThreads()
{
#if defined(__SANITIZE_THREAD__)
    QSKIP("ThreadSanitizer does not let a forked child of a threaded process start threads");
#endif
    if (!ThreadlessChild::available())
        QSKIP("no way here to take the right to start threads away from a process");
    // A process at its thread limit, under a flood say, still queues every reply,
    // joins every block and clears the queue: the jobs run on the calling thread
    // instead of failing, or throwing out of a slot. Forked, so that the limit
    // binds the child alone.
    queueCommand(command(0x42));
    QString failure;
    QVERIFY2(ThreadlessChild::run([this]() { return runWithoutThreads(m_port.get()); }, &failure),
             qPrintable(failure));
}

QTEST_GUILESS_MAIN(TestPortUDP)
#include "tst_portudp.moc"
