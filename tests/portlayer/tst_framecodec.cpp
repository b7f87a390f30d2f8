#include "framecodec.h"
#include "portserial.h"

#include <QtTest>

namespace {

ProtocolData command(unsigned char head, unsigned char sn, unsigned char cmd, unsigned char sub,
                     unsigned char p1, unsigned char p2, unsigned char p3)
{
    ProtocolData c;
    c.byHead = head;
    c.bySN = sn;
    c.byCmd = cmd;
    c.bySubCmd = sub;
    c.byParam1 = p1;
    c.byParam2 = p2;
    c.byParam3 = p3;
    return c;
}

} // namespace

class TestFrameCodec : public QObject
{
    Q_OBJECT

private slots:
    void produceCmds_data();
    void produceCmds();
    void decode_data();
    void decode();
    void combineTwoByte_data();
    void combineTwoByte();
    void sendWhileClosedWritesOnlyTheLogLine();
};

void TestFrameCodec::produceCmds_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<unsigned char>("givenChecksum");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray example = QByteArray::fromHex("01020304050607");
    QTest::newRow("frame of the seven bytes 01..07")
        << example << static_cast<unsigned char>(0) << QByteArray() << QByteArray("[A010203040506071c]");
    QTest::newRow("record checksum is ignored")
        << example << static_cast<unsigned char>(0x99) << QByteArray() << QByteArray("[A010203040506071c]");
    QTest::newRow("block follows raw in the same bytes")
        << example << static_cast<unsigned char>(0) << QByteArray("\x00\x5b\xff", 3)
        << QByteArray("[A010203040506071c]") + QByteArray("\x00\x5b\xff", 3);
    QTest::newRow("bytes above 0x7f in lower case")
        << QByteArray::fromHex("ff80e1a0000000") << static_cast<unsigned char>(0) << QByteArray()
        << QByteArray("[Aff80e1a000000000]");
}

void TestFrameCodec::produceCmds()
{
    QFETCH(QByteArray, header);
    QFETCH(unsigned char, givenChecksum);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, expected);

    auto h = [&header](int i) { return static_cast<unsigned char>(header.at(i)); };
    ProtocolData c = command(h(0), h(1), h(2), h(3), h(4), h(5), h(6));
    c.byCheckSum = givenChecksum;
    c.baData = data;
    QCOMPARE(FrameCodec::produceCmds(c), expected);
    QCOMPARE(c.byCheckSum, givenChecksum);

    PortSerial port;
    QCOMPARE(port.produceCmds(c), expected);
    QCOMPARE(port.changeData(QByteArray::fromHex("010203040506071c")), QByteArray("[A010203040506071c]"));
}

void TestFrameCodec::decode_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("ok");

    QTest::newRow("lower case") << QByteArray("[Rff80e1a000000000]") << true;
    QTest::newRow("upper case") << QByteArray("[RFF80E1A000000000]") << true;
    QTest::newRow("mixed case") << QByteArray("[RfF80e1A000000000]") << true;
    QTest::newRow("wrong checksum") << QByteArray("[Rff80e1a000000001]") << false;
    // Read as 0, "g0" would make this a frame whose checksum holds.
    QTest::newRow("pair with a non-digit") << QByteArray("[Rff80e1a0g0000000]") << false;
    QTest::newRow("pairs that are all noise") << QByteArray("[Rzzzzzzzzzzzzzzzz]") << false;
    QTest::newRow("short frame") << QByteArray("[Rff80") << false;
}

void TestFrameCodec::decode()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, ok);

    ProtocolData out;
    out.strLabel = QStringLiteral("untouched");
    QCOMPARE(FrameCodec::decodeStandardFrame(frame, &out), ok);
    if (!ok) {
        QCOMPARE(out.strLabel, QStringLiteral("untouched"));
        return;
    }
    QVERIFY(out.strLabel.isEmpty());
    QCOMPARE(out.byHead, static_cast<unsigned char>(0xff));
    QCOMPARE(out.bySN, static_cast<unsigned char>(0x80));
    QCOMPARE(out.byCmd, static_cast<unsigned char>(0xe1));
    QCOMPARE(out.bySubCmd, static_cast<unsigned char>(0xa0));
    QCOMPARE(out.byCheckSum, static_cast<unsigned char>(0x00));
    QVERIFY(out.baData.isEmpty());
}

void TestFrameCodec::combineTwoByte_data()
{
    QTest::addColumn<unsigned char>("low");
    QTest::addColumn<unsigned char>("high");
    QTest::addColumn<int>("expected");
    QTest::newRow("22") << static_cast<unsigned char>(0x16) << static_cast<unsigned char>(0x00) << 22;
    QTest::newRow("1362") << static_cast<unsigned char>(0x52) << static_cast<unsigned char>(0x05) << 1362;
    QTest::newRow("65535") << static_cast<unsigned char>(0xff) << static_cast<unsigned char>(0xff) << 65535;
}

void TestFrameCodec::combineTwoByte()
{
    QFETCH(unsigned char, low);
    QFETCH(unsigned char, high);
    QFETCH(int, expected);
    QCOMPARE(int(FrameCodec::combineTwoByte(low, high)), expected);
    PortSerial port;
    QCOMPARE(int(port.combineTwoByte(low, high)), expected);
}

void TestFrameCodec::sendWhileClosedWritesOnlyTheLogLine()
{
    PortSerial port;
    ProtocolData c = command(0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07);
    c.byCheckSum = 0x42;
    c.baData = QByteArray("abc");
    QTest::ignoreMessage(QtDebugMsg, "Send data:[A010203040506071c]");
    port.sendDatatoDevice(&c);
    QCOMPARE(c.byCheckSum, static_cast<unsigned char>(0x42));
    QCOMPARE(c.baData, QByteArray("abc"));
    QVERIFY(!port.m_com->isOpen());
}

QTEST_GUILESS_MAIN(TestFrameCodec)
#include "tst_framecodec.moc"
