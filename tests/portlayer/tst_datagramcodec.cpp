#include "datagramcodec.h"
#include "framebuilder.h"
#include "logcapture.h"

#include <QtTest>

Q_DECLARE_METATYPE(DatagramCodec::Intake)
Q_DECLARE_METATYPE(ProtocolData)

namespace {

ProtocolData header(unsigned char cmd, unsigned char sub, unsigned char p2 = 0, unsigned char p3 = 0)
{
    ProtocolData r;
    r.byHead = 0x01;
    r.bySN = 0x05;
    r.byCmd = cmd;
    r.bySubCmd = sub;
    r.byParam2 = p2;
    r.byParam3 = p3;
    r.byCheckSum = static_cast<unsigned char>(r.byHead + r.bySN + cmd + sub + p2 + p3);
    return r;
}

QByteArray replyDatagram(unsigned char cmd, unsigned char sub, unsigned char p2 = 0, unsigned char p3 = 0)
{
    return FrameBuilder::reply(0x01, 0x05, cmd, sub, 0, p2, p3);
}

QByteArray pattern(int n)
{
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i)
        bytes[i] = char(i * 31 + 7);
    return bytes;
}

} // namespace

// The rules that make UDP differ from the byte stream: what a datagram decodes to,
// which replies wait for a block, how a block is joined, how commands are cut.
class TestDatagramCodec : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void classify_data();
    void classify();
    void join_data();
    void join();
    void writeInPieces_data();
    void writeInPieces();
    void senderText_data();
    void senderText();
};

void TestDatagramCodec::decode_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QByteArray>("headerBytes"); // H0..H7; all zero when not a reply
    QTest::addColumn<QString>("debugLine");      // empty: none

    QTest::newRow("reply") << QByteArray("[R010178000000007a]") << QByteArray::fromHex("010178000000007a")
                           << QString();
    QTest::newRow("upper-case digits") << QByteArray("[R0105F140002C0164]")
                                       << QByteArray::fromHex("0105f140002c0164") << QString();
    QTest::newRow("last byte not examined") << QByteArray("[R010178000000007a)")
                                            << QByteArray::fromHex("010178000000007a") << QString();
    const QByteArray zero(8, '\0');
    // Noise is never a reply, even where zeros in its place would pass the checksum.
    QTest::newRow("pair that is no number") << QByteArray("[R01zz780000000079]") << zero
                                            << QStringLiteral("CHKSUM Wrong return");
    QTest::newRow("wrong checksum") << QByteArray("[R0101780000000079]") << zero
                                    << QStringLiteral("CHKSUM Wrong return");
    QTest::newRow("18 bytes") << QByteArray("[R010178000000007a") << zero
                              << QStringLiteral("datagram.size()!=19 return");
    QTest::newRow("20 bytes") << QByteArray("[R010178000000007a]]") << zero
                              << QStringLiteral("datagram.size()!=19 return");
    QTest::newRow("empty") << QByteArray() << zero << QStringLiteral("datagram.size()!=19 return");
    QTest::newRow("command frame") << QByteArray("[A010178000000007a]") << zero << QStringLiteral("no '[' 'R' ");
    QTest::newRow("no bracket") << QByteArray("(R010178000000007a]") << zero << QStringLiteral("no '[' 'R' ");
}

void TestDatagramCodec::decode()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QByteArray, headerBytes);
    QFETCH(QString, debugLine);

    LogCapture log;
    const ProtocolData r = DatagramCodec::decode(datagram);
    const char got[] = {char(r.byHead), char(r.bySN), char(r.byCmd), char(r.bySubCmd),
                        char(r.byParam1), char(r.byParam2), char(r.byParam3), char(r.byCheckSum)};
    QCOMPARE(QByteArray(got, 8).toHex(), headerBytes.toHex());
    QVERIFY(r.baData.isEmpty());
    QVERIFY(r.strNote.isEmpty());
    QCOMPARE(DatagramCodec::isNotReply(r), headerBytes == QByteArray(8, '\0'));
    QCOMPARE(log.lines(), debugLine.isEmpty() ? QStringList() : QStringList{debugLine});
}

void TestDatagramCodec::classify_data()
{
    QTest::addColumn<ProtocolData>("reply");
    QTest::addColumn<DatagramCodec::Intake>("intake");
    QTest::addColumn<int>("announced");

    using I = DatagramCodec::Intake;
    for (unsigned char sub : {0x09, 0x0A, 0x0C, 0x12, 0x13, 0x17})
        QTest::addRow("79/%02x now", sub) << header(0x79, sub) << I::QueueNow << 0;
    QTest::newRow("79/01 held") << header(0x79, 0x01, 0x10) << I::Hold << 16;
    QTest::newRow("79/0b held") << header(0x79, 0x0B) << I::Hold << 0;
    QTest::newRow("f1/40 announcing nothing") << header(0xF1, 0x40) << I::QueueNow << 0;
    QTest::newRow("f1/40 announcing 300") << header(0xF1, 0x40, 0x2C, 0x01) << I::Hold << 300;
    QTest::newRow("f1/41 announcing nothing") << header(0xF1, 0x41) << I::Hold << 0;
    QTest::newRow("77/23 held") << header(0x77, 0x23) << I::Hold << 0;
    QTest::newRow("77/24") << header(0x77, 0x24) << I::General << 0;
    QTest::newRow("8b/05 held") << header(0x8B, 0x05) << I::Hold << 0;
    QTest::newRow("8b/09 held") << header(0x8B, 0x09) << I::Hold << 0;
    QTest::newRow("8b/06") << header(0x8B, 0x06) << I::General << 0;
    QTest::newRow("8e/27 held") << header(0x8E, 0x27, 0x05) << I::Hold << 5;
    QTest::newRow("8e/26") << header(0x8E, 0x26) << I::General << 0;
    QTest::newRow("69/09 held") << header(0x69, 0x09) << I::Hold << 0;
    QTest::newRow("e1 is no block reply on UDP") << header(0xE1, 0x00, 0x16) << I::General << 22;
    QTest::newRow("largest positive length") << header(0x79, 0x01, 0xFF, 0x7F) << I::Hold << 32767;
    QTest::newRow("32768 reads negative") << header(0x79, 0x01, 0x00, 0x80) << I::Hold << -32768;
    QTest::newRow("65535 reads -1") << header(0x79, 0x01, 0xFF, 0xFF) << I::Hold << -1;
}

void TestDatagramCodec::classify()
{
    QFETCH(ProtocolData, reply);
    QFETCH(DatagramCodec::Intake, intake);
    QFETCH(int, announced);

    QCOMPARE(DatagramCodec::classify(reply), intake);
    QCOMPARE(int(DatagramCodec::announcedLength(reply)), announced);
}

void TestDatagramCodec::join_data()
{
    QTest::addColumn<QByteArray>("held");
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<int>("taken"); // -1: nothing queued

    QTest::newRow("300 announced, 350 gathered") << replyDatagram(0xF1, 0x40, 0x2C, 0x01) << 350 << 300;
    QTest::newRow("exactly the announced length") << replyDatagram(0x79, 0x01, 0x10) << 16 << 16;
    QTest::newRow("one byte short") << replyDatagram(0x79, 0x01, 0x10) << 15 << -1;
    QTest::newRow("8b/05 short block") << replyDatagram(0x8B, 0x05, 0x64) << 100 << 100;
    QTest::newRow("8b/05 takes 145") << replyDatagram(0x8B, 0x05, 0x64) << 200 << 145;
    QTest::newRow("8b/09 takes 129") << replyDatagram(0x8B, 0x09) << 300 << 129;
    QTest::newRow("77/23 announcing nothing") << replyDatagram(0x77, 0x23) << 200 << 129;
    QTest::newRow("69/09 with 10 bytes") << replyDatagram(0x69, 0x09) << 10 << 10;
    QTest::newRow("announced 0") << replyDatagram(0x79, 0x01) << 5 << -1;
    QTest::newRow("announced 32768") << replyDatagram(0x79, 0x01, 0x00, 0x80) << 1000 << -1;
    QTest::newRow("nothing held") << QByteArray() << 10 << -1;
    QTest::newRow("empty block") << replyDatagram(0x8B, 0x05) << 0 << -1;
}

void TestDatagramCodec::join()
{
    QFETCH(QByteArray, held);
    QFETCH(int, blockSize);
    QFETCH(int, taken);

    const QByteArray block = pattern(blockSize);
    ProtocolData reply;
    reply.strNote = QStringLiteral("untouched");
    QCOMPARE(DatagramCodec::join(block, held, &reply), taken >= 0);
    if (taken < 0) {
        QCOMPARE(reply.strNote, QStringLiteral("untouched"));
        return;
    }
    const ProtocolData expected = DatagramCodec::decode(held);
    QCOMPARE(reply.byCmd, expected.byCmd);
    QCOMPARE(reply.bySubCmd, expected.bySubCmd);
    QCOMPARE(reply.bySN, expected.bySN);
    QCOMPARE(reply.byCheckSum, expected.byCheckSum);
    QCOMPARE(reply.baData, block.left(taken));
    // Everything else as a new record has it: no address, no device type.
    const ProtocolData fresh;
    QVERIFY(reply.strLabel.isEmpty() && reply.strSource.isEmpty() && reply.strNote.isEmpty());
    QCOMPARE(reply.iDeviceType, fresh.iDeviceType);
    QCOMPARE(reply.byReplySource, fresh.byReplySource);
}

void TestDatagramCodec::writeInPieces_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("refusedPiece"); // -1: none
    QTest::addColumn<qint64>("refusedResult");
    QTest::addColumn<QList<int>>("pieces"); // sizes handed to the socket, in order
    QTest::addColumn<qint64>("total");

    QTest::newRow("nothing") << 0 << -1 << qint64(0) << QList<int>() << qint64(0);
    QTest::newRow("one frame") << 19 << -1 << qint64(0) << QList<int>{19} << qint64(19);
    QTest::newRow("540") << 540 << -1 << qint64(0) << QList<int>{540} << qint64(540);
    QTest::newRow("541") << 541 << -1 << qint64(0) << QList<int>{540, 1} << qint64(541);
    QTest::newRow("619") << 619 << -1 << qint64(0) << QList<int>{540, 79} << qint64(619);
    QTest::newRow("1080") << 1080 << -1 << qint64(0) << QList<int>{540, 540} << qint64(1080);
    QTest::newRow("first refused") << 1080 << 0 << qint64(-1) << QList<int>{540} << qint64(-1);
    QTest::newRow("second refused") << 1620 << 1 << qint64(-1) << QList<int>{540, 540} << qint64(539);
    QTest::newRow("last refused") << 619 << 1 << qint64(-1) << QList<int>{540, 79} << qint64(539);
    QTest::newRow("short count ends it") << 1620 << 0 << qint64(100) << QList<int>{540} << qint64(100);
}

void TestDatagramCodec::writeInPieces()
{
    QFETCH(int, size);
    QFETCH(int, refusedPiece);
    QFETCH(qint64, refusedResult);
    QFETCH(QList<int>, pieces);
    QFETCH(qint64, total);

    const QByteArray bytes = pattern(size);
    QList<int> seen;
    QByteArray handed;
    const qint64 result = DatagramCodec::writeInPieces(bytes, DatagramCodec::kSplitSize,
                                                       [&](const QByteArray &piece) -> qint64 {
        seen.append(piece.size());
        handed += piece;
        return seen.size() - 1 == refusedPiece ? refusedResult : piece.size();
    });
    QCOMPARE(seen, pieces);
    QCOMPARE(result, total);
    // Only the bytes given, in order, each once.
    QCOMPARE(handed, bytes.left(handed.size()));
}

void TestDatagramCodec::senderText_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("text");

    QTest::newRow("IPv4-mapped") << "::ffff:192.0.2.20" << "192.0.2.20";
    QTest::newRow("IPv4-mapped loopback") << "::ffff:127.0.0.2" << "127.0.0.2";
    QTest::newRow("IPv4") << "127.0.0.3" << "127.0.0.3";
    QTest::newRow("IPv6") << "::1" << "::1";
}

void TestDatagramCodec::senderText()
{
    QFETCH(QString, address);
    QFETCH(QString, text);
    QCOMPARE(DatagramCodec::senderText(QHostAddress(address)), text);
    QCOMPARE(DatagramCodec::logText(QByteArray("[R01\0tail", 9)), QStringLiteral("[R01"));
}

QTEST_GUILESS_MAIN(TestDatagramCodec)
#include "tst_datagramcodec.moc"
