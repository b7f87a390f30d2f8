// The system's sieve of a socket's senders, on loopback: what reaches a socket
// sieved for one device, and what the system counts as dropped.

#include "sendersieve.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

namespace {

QHostAddress loopbackOf(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol ? QHostAddress(QHostAddress::LocalHostIPv6)
                                                               : QHostAddress(QHostAddress::LocalHost);
}

bool sendFrom(const QString &from, const QByteArray &payload, quint16 port)
{
    QUdpSocket sender;
    const QHostAddress source(from);
    return sender.bind(source, 0) && sender.writeDatagram(payload, loopbackOf(source), port) == payload.size();
}

// Sends payload from a socket bound to from, then a marker from the device, and
// says whether payload reached the receiver before the marker. Loopback delivers
// in the order sent, so the marker tells "dropped" from "not yet".
bool arrives(QUdpSocket *receiver, const QString &from, const QByteArray &payload, const QString &device)
{
    const QByteArray marker = "marker";
    if (!sendFrom(from, payload, receiver->localPort()) || !sendFrom(device, marker, receiver->localPort()))
        return false;
    bool seen = false;
    bool marked = false;
    (void)QTest::qWaitFor(
        [&] {
            while (receiver->hasPendingDatagrams()) {
                const QByteArray data = receiver->receiveDatagram().data();
                seen = seen || data == payload;
                marked = marked || data == marker;
            }
            return marked;
        },
        10000);
    return marked && seen;
}

} // namespace

class TestSenderSieve : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void onlyTheDevice_data();
    void onlyTheDevice();
    void admitAllUndoes();
    void socketsThatAreNone();
};

void TestSenderSieve::initTestCase()
{
    if (!SenderSieve::available())
        QSKIP("this system has no socket filter a program may attach; the transport refuses other senders itself");
}

void TestSenderSieve::onlyTheDevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<bool>("admitted");
    QTest::newRow("the device") << "127.0.0.2" << "127.0.0.2" << true;
    QTest::newRow("a neighbour's address") << "127.0.0.2" << "127.0.0.3" << false;
    QTest::newRow("last octet differs only") << "127.0.0.2" << "127.0.0.130" << false;
    QTest::newRow("device named mapped") << "::ffff:127.0.0.2" << "127.0.0.2" << true;
    QTest::newRow("mapped, a neighbour") << "::ffff:127.0.0.2" << "127.0.0.3" << false;
    QTest::newRow("IPv6 device") << "::1" << "::1" << true;
    QTest::newRow("IPv4 sender, IPv6 device") << "::1" << "127.0.0.1" << false;
    QTest::newRow("IPv6 sender, IPv4 device") << "127.0.0.1" << "::1" << false;
}

void TestSenderSieve::onlyTheDevice()
{
    QFETCH(QString, device);
    QFETCH(QString, sender);
    QFETCH(bool, admitted);
    QUdpSocket receiver;
    // Both families, as the transport's socket takes them.
    QVERIFY(receiver.bind(QHostAddress(QHostAddress::Any), 0));
    QVERIFY(SenderSieve::admitOnly(receiver.socketDescriptor(), QHostAddress(device)));
    const quint64 droppedBefore = SenderSieve::dropped(receiver.socketDescriptor());

    // The marker comes from the device as the system names it: a mapped address
    // is its IPv4 address on the wire.
    bool isIPv4 = false;
    const quint32 ipv4 = QHostAddress(device).toIPv4Address(&isIPv4);
    const QString markerFrom = isIPv4 ? QHostAddress(ipv4).toString() : device;
    QCOMPARE(arrives(&receiver, sender, "from " + sender.toLatin1(), markerFrom), admitted);
    // Whatever was sieved out was counted by the system; nothing else was.
    QCOMPARE(SenderSieve::dropped(receiver.socketDescriptor()) - droppedBefore, quint64(admitted ? 0 : 1));
}

void TestSenderSieve::admitAllUndoes()
{
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress(QHostAddress::Any), 0));
    // Undoing no sieve is no failure.
    QVERIFY(SenderSieve::admitAll(receiver.socketDescriptor()));
    QVERIFY(SenderSieve::admitOnly(receiver.socketDescriptor(), QHostAddress(QStringLiteral("127.0.0.2"))));
    const QString first = QStringLiteral("127.0.0.2");
    QVERIFY(!arrives(&receiver, QStringLiteral("127.0.0.3"), "stranger", first));
    QVERIFY(SenderSieve::admitAll(receiver.socketDescriptor()));
    QVERIFY(arrives(&receiver, QStringLiteral("127.0.0.3"), "stranger again", first));
    // A second device replaces the first.
    const QString second = QStringLiteral("127.0.0.4");
    QVERIFY(SenderSieve::admitOnly(receiver.socketDescriptor(), QHostAddress(second)));
    QVERIFY(!arrives(&receiver, first, "the first device", second));
    QVERIFY(arrives(&receiver, second, "the second device", second));
}

void TestSenderSieve::socketsThatAreNone()
{
    QVERIFY(!SenderSieve::admitOnly(-1, QHostAddress(QStringLiteral("127.0.0.2"))));
    QVERIFY(!SenderSieve::admitAll(-1));
    QCOMPARE(SenderSieve::dropped(-1), quint64(0));
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress(QHostAddress::Any), 0));
    QVERIFY(!SenderSieve::admitOnly(receiver.socketDescriptor(), QHostAddress()));
}

QTEST_GUILESS_MAIN(TestSenderSieve)
#include "tst_sendersieve.moc"
