#include "simdevice.h"
#include "simframes.h"

#include <QtTest>

#include <atomic>
#include <thread>

Q_DECLARE_METATYPE(SimFault)
Q_DECLARE_METATYPE(SimFrame)

namespace {

QByteArray joined(const QList<SimWrite> &writes)
{
    QByteArray all;
    for (const SimWrite &w : writes)
        all += w.bytes;
    return all;
}

QList<int> delays(const QList<SimWrite> &writes)
{
    QList<int> out;
    for (const SimWrite &w : writes)
        out.append(w.delayMs);
    return out;
}

QList<int> zeros(int n)
{
    return QVector<int>(n, 0).toList();
}

QList<quint8> serials(const QList<SimFrame> &frames)
{
    QList<quint8> out;
    for (const SimFrame &f : frames)
        out.append(f.sn);
    return out;
}

} // namespace

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void frameText_data();
    void frameText();
    void checkedBlock_data();
    void checkedBlock();
    void cutsCommands_data();
    void cutsCommands();
    void givesUpAnIncompleteBlock();
    void faults_data();
    void faults();
    void faultCounts();
    void concurrentFeedAndConfiguration();
    void blocksPerMedium_data();
    void blocksPerMedium();
    void datagramLayout_data();
    void datagramLayout();
    void commandSplitOverDatagrams();
};

void TestSimDevice::frameText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");

    SimFrame seven = frame(0x02, 0x03, 0x04, 0x05, 0x06, 0x07);
    QTest::newRow("command frame") << SimDevice::commandFrame(seven) << QByteArray("[A010203040506071c]");
    seven.block = QByteArray("\x00\xff", 2);
    QTest::newRow("command frame with block")
        << SimDevice::commandFrame(seven) << QByteArray("[A010203040506071c]\x00\xff", 21);
    const SimFrame high = frame(0xFF, 0xE1, 0xAB, 0xCD, 0x16, 0x00);
    QTest::newRow("reply lower case") << SimDevice::replyFrame(high) << QByteArray("[R01ffe1abcd16006f]");
    QTest::newRow("reply upper case") << SimDevice::replyFrame(high, true) << QByteArray("[R01FFE1ABCD16006F]");
}

void TestSimDevice::frameText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(text, expected);
}

void TestSimDevice::checkedBlock_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<quint8>("seed");

    QTest::newRow("one byte") << 1 << quint8(0x55);
    QTest::newRow("two bytes") << 2 << quint8(0xFF);
    QTest::newRow("announced 0xE1/0x00") << 22 << quint8(3);
    QTest::newRow("long, sum wraps") << 1362 << quint8(0x80);
}

void TestSimDevice::checkedBlock()
{
    QFETCH(int, size);
    QFETCH(quint8, seed);

    const QByteArray block = SimDevice::checkedBlock(size, seed);
    QCOMPARE(block.size(), size);
    quint8 sum = 0;
    for (int i = 0; i < size - 1; ++i)
        sum = quint8(sum + quint8(block.at(i)));
    QCOMPARE(quint8(block.at(size - 1)), sum);
}

void TestSimDevice::cutsCommands_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<SimFrame>>("commands");

    const SimFrame a = frame(1, 0x71, 0x00);
    const SimFrame b = frame(2, 0xE1, 0x00);
    const SimFrame blockCmd = frame(3, 0xE0, 0x01, 0, 4, 0, QByteArray("[A\x00]", 4));
    const QByteArray fa = SimDevice::commandFrame(a);
    const QByteArray fb = SimDevice::commandFrame(b);
    const QByteArray fBlock = SimDevice::commandFrame(blockCmd);
    QByteArray badSum = fa;
    badSum[17] = badSum.at(17) == '0' ? '1' : '0';
    QByteArray badDigit = fa;
    badDigit[5] = 'g';

    QTest::newRow("one frame") << QList<QByteArray>{fa} << QList<SimFrame>{a};
    QTest::newRow("split in two") << QList<QByteArray>{fa.left(7), fa.mid(7)} << QList<SimFrame>{a};
    QList<QByteArray> bytes;
    for (char c : fa)
        bytes.append(QByteArray(1, c));
    QTest::newRow("byte by byte") << bytes << QList<SimFrame>{a};
    QTest::newRow("two frames at once") << QList<QByteArray>{fa + fb} << QList<SimFrame>{a, b};
    QTest::newRow("garbage before")
        << QList<QByteArray>{QByteArray("\x00xyz]\xff", 6) + fa} << QList<SimFrame>{a};
    QTest::newRow("stray [ and a reply frame")
        << QList<QByteArray>{"[[B" + SimDevice::replyFrame(b) + fa} << QList<SimFrame>{a};
    QTest::newRow("upper-case digits") << QList<QByteArray>{fb.toUpper()}
                                       << QList<SimFrame>{b};
    QTest::newRow("wrong checksum dropped") << QList<QByteArray>{badSum + fb} << QList<SimFrame>{b};
    QTest::newRow("non-hex digit dropped") << QList<QByteArray>{badDigit + fb} << QList<SimFrame>{b};
    QTest::newRow("truncated frame then a whole one")
        << QList<QByteArray>{fa.left(10) + fb} << QList<SimFrame>{b};
    QTest::newRow("block command with its block") << QList<QByteArray>{fBlock + fa}
                                                  << QList<SimFrame>{blockCmd, a};
    QTest::newRow("block split across feeds")
        << QList<QByteArray>{fBlock.left(20), fBlock.mid(20, 2), fBlock.mid(22) + fa}
        << QList<SimFrame>{blockCmd, a};
    QTest::newRow("block command announcing nothing")
        << QList<QByteArray>{SimDevice::commandFrame(frame(4, 0xE0, 0x01)) + fa}
        << QList<SimFrame>{frame(4, 0xE0, 0x01), a};
    QTest::newRow("length in a command without a block")
        << QList<QByteArray>{SimDevice::commandFrame(frame(5, 0x71, 0x00, 0, 3, 0)) + fa}
        << QList<SimFrame>{frame(5, 0x71, 0x00, 0, 3, 0), a};
}

void TestSimDevice::cutsCommands()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<SimFrame>, commands);

    SimDevice device;
    QByteArray written;
    for (const QByteArray &chunk : chunks)
        written += joined(device.feed(chunk));

    QByteArray expected;
    for (const SimFrame &c : commands)
        expected += replyBytes(c);
    QCOMPARE(written, expected);

    const QList<SimFrame> seen = device.receivedCommands();
    QCOMPARE(serials(seen), serials(commands));
    for (int i = 0; i < seen.size(); ++i) {
        QCOMPARE(SimDevice::commandFrame(seen.at(i)), SimDevice::commandFrame(commands.at(i)));
        QCOMPARE(seen.at(i).block, commands.at(i).block);
    }
}

void TestSimDevice::givesUpAnIncompleteBlock()
{
    SimDevice device;
    // Announces 4096 bytes, of which only two ever come.
    const SimFrame lost = frame(1, 0xE0, 0x01, 0, 0x00, 0x10, "ab");
    QVERIFY(device.feed(SimDevice::commandFrame(lost)).isEmpty());

    const SimFrame next = frame(2, 0x42, 0x00);
    const QByteArray nextFrame = SimDevice::commandFrame(next);
    // Until the wait runs out the frames count as block bytes; after it they are commands again.
    QTRY_VERIFY_WITH_TIMEOUT(!device.feed(nextFrame).isEmpty(), 5000);

    const QList<SimFrame> seen = device.receivedCommands();
    QVERIFY(!seen.isEmpty());
    for (const SimFrame &f : seen)
        QCOMPARE(f.sn, quint8(2));
}

void TestSimDevice::faults_data()
{
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<quint8>("cmd");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QList<int>>("expectedDelays");

    // 0xE1/0x00 answers with 22 announced block bytes; 0x42 with a bare frame.
    const QByteArray block = SimDevice::replyFor(frame(5, 0xE1, 0x00)).block;
    const QByteArray reply = QByteArray("[R0105e100001600fd]") + block;
    const QByteArray plain("[R0105420000000048]");

    QTest::newRow("none") << SimFault::None << quint8(0xE1) << reply << QList<int>{0};
    QTest::newRow("silent") << SimFault::Silent << quint8(0xE1) << QByteArray() << QList<int>{};
    QTest::newRow("wrong header checksum") << SimFault::WrongHeaderChecksum << quint8(0xE1)
                                           << QByteArray("[R0105e100001600fe]") + block << QList<int>{0};
    QByteArray badBlock = block;
    badBlock[21] = char(badBlock.at(21) + 1);
    QTest::newRow("wrong block checksum") << SimFault::WrongBlockChecksum << quint8(0xE1)
                                          << QByteArray("[R0105e100001600fd]") + badBlock << QList<int>{0};
    QTest::newRow("wrong block checksum, no block") << SimFault::WrongBlockChecksum << quint8(0x42)
                                                    << plain << QList<int>{0};
    QTest::newRow("short block") << SimFault::ShortBlock << quint8(0xE1)
                                 << QByteArray("[R0105e100001600fd]") + block.left(21) << QList<int>{0};
    QTest::newRow("upper-case digits") << SimFault::UpperCaseDigits << quint8(0xE1)
                                       << QByteArray("[R0105E100001600FD]") + block << QList<int>{0};
    QList<int> oneMs{0};
    for (int i = 1; i < plain.size(); ++i)
        oneMs.append(1);
    QTest::newRow("byte by byte") << SimFault::ByteByByte << quint8(0x42) << plain << oneMs;
    QTest::newRow("pieces") << SimFault::Pieces << quint8(0xE1) << reply << QList<int>{0, 20, 20};
    QTest::newRow("echo") << SimFault::EchoCommand << quint8(0x42)
                          << QByteArray("[A0105420000000048]") + plain << QList<int>{0, 0};
}

void TestSimDevice::faults()
{
    QFETCH(SimFault, fault);
    QFETCH(quint8, cmd);
    QFETCH(QByteArray, expected);
    QFETCH(QList<int>, expectedDelays);

    SimDevice device;
    device.setFault(cmd, fault);
    const QList<SimWrite> writes = device.feed(SimDevice::commandFrame(frame(5, cmd, 0x00)));
    QCOMPARE(joined(writes), expected);
    QCOMPARE(delays(writes), expectedDelays);
    QCOMPARE(device.receivedCommands().size(), 1);
}

void TestSimDevice::faultCounts()
{
    SimDevice device;
    const QByteArray cmd42 = SimDevice::commandFrame(frame(1, 0x42, 0x00));
    const QByteArray cmd71 = SimDevice::commandFrame(frame(2, 0x71, 0x00));

    device.setFault(0x42, SimFault::Silent, 1);
    QVERIFY(device.feed(cmd42).isEmpty());
    QCOMPARE(joined(device.feed(cmd42)), replyBytes(frame(1, 0x42, 0x00)));

    device.setFault(0x42, SimFault::Silent);
    for (int i = 0; i < 3; ++i)
        QVERIFY(device.feed(cmd42).isEmpty());
    QVERIFY(!device.feed(cmd71).isEmpty());

    // A fault for every command yields to the fault of a command's own.
    device.setFaultForAll(SimFault::UpperCaseDigits);
    QVERIFY(device.feed(cmd42).isEmpty());
    QCOMPARE(joined(device.feed(cmd71)), replyBytes(frame(2, 0x71, 0x00)).toUpper());

    device.setFault(0x42, SimFault::Silent, 0);
    QCOMPARE(joined(device.feed(cmd42)), SimDevice::replyFrame(frame(1, 0x42, 0x00), true));

    device.clearFaults();
    QCOMPARE(joined(device.feed(cmd42)), replyBytes(frame(1, 0x42, 0x00)));
    QCOMPARE(device.receivedCommands().size(), 10);
    device.clearReceived();
    QVERIFY(device.receivedCommands().isEmpty());
}

void TestSimDevice::concurrentFeedAndConfiguration()
{
    SimDevice device;
    const QByteArray cmd = SimDevice::commandFrame(frame(9, 0x42, 0x00));
    std::atomic<int> answered{0};
    std::thread feeder([&] {
        for (int i = 0; i < 2000; ++i) {
            if (!device.feed(cmd).isEmpty())
                ++answered;
        }
    });
    for (int i = 0; i < 200; ++i) {
        device.setFault(0x42, i % 2 ? SimFault::Silent : SimFault::Pieces, 3);
        device.setBlockCommands({0xE0, quint8(i)});
        QVERIFY(device.receivedCommands().size() <= 2000);
    }
    feeder.join();
    device.clearFaults();
    QCOMPARE(device.receivedCommands().size(), 2000);
    QVERIFY(answered > 0);
}

void TestSimDevice::blocksPerMedium_data()
{
    QTest::addColumn<SimFrame>("command");
    QTest::addColumn<int>("serialBlock"); // -1: no block, and no length announced
    QTest::addColumn<int>("udpBlock");

    QTest::newRow("0xE1 read") << frame(1, 0xE1, 0x00) << 22 << -1;
    QTest::newRow("0x79 other sub") << frame(1, 0x79, 0x01) << 16 << 16;
    QTest::newRow("0x79/0x0C") << frame(1, 0x79, 0x0C) << 16 << -1;
    QTest::newRow("0x8E/0x27") << frame(1, 0x8E, 0x27) << 5 << 5;
    QTest::newRow("0x77/0x23") << frame(1, 0x77, 0x23) << -1 << 129;
    QTest::newRow("0x8B/0x05") << frame(1, 0x8B, 0x05) << -1 << 145;
    QTest::newRow("0x8B/0x09") << frame(1, 0x8B, 0x09) << -1 << 129;
    QTest::newRow("0x69/0x09") << frame(1, 0x69, 0x09) << -1 << 129;
    QTest::newRow("0xF1 asking 30000") << frame(1, 0xF1, 0x01, 0, 0x30, 0x75) << -1 << 30000;
    QTest::newRow("0xF1 asking nothing") << frame(1, 0xF1, 0x01) << -1 << 32;
    QTest::newRow("0xF1/0x40 asking nothing") << frame(1, 0xF1, 0x40) << -1 << -1;
    QTest::newRow("0xF1/0x40 asking 300") << frame(1, 0xF1, 0x40, 0, 0x2C, 0x01) << -1 << 300;
    QTest::newRow("plain command") << frame(1, 0x42, 0x00) << -1 << -1;
}

void TestSimDevice::blocksPerMedium()
{
    QFETCH(SimFrame, command);
    QFETCH(int, serialBlock);
    QFETCH(int, udpBlock);

    const QList<QPair<SimProfile, int>> media = {{SimProfile::serial(), serialBlock},
                                                 {SimProfile::udp(), udpBlock}};
    for (const auto &medium : media) {
        const SimFrame reply = SimDevice::replyFor(command, medium.first);
        const int expected = medium.second;
        QCOMPARE(reply.block.size(), qMax(expected, 0));
        QCOMPARE(int(reply.length()), qMax(expected, 0));
        QCOMPARE(medium.first.carriesBlock(reply), expected >= 0);
    }
}

void TestSimDevice::datagramLayout_data()
{
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<QList<int>>("sizes"); // of the datagrams, in order
    QTest::addColumn<QList<int>>("expectedDelays");

    // 0xF1 asking 700 bytes, with block datagrams of 200 and then 150 bytes.
    const QList<int> block{200, 150, 150, 150, 50};
    QTest::newRow("none") << SimFault::None << QList<int>{19} + block << zeros(6);
    QTest::newRow("odd-sized reply") << SimFault::OddSizedReply << QList<int>{20} + block << zeros(6);
    QTest::newRow("short block") << SimFault::ShortBlock << QList<int>{19, 200, 150, 150, 150, 49}
                                 << zeros(6);
    QTest::newRow("garbage datagram first") << SimFault::GarbageBefore << QList<int>{9, 19} + block
                                            << zeros(7);
    QTest::newRow("command echoed") << SimFault::EchoCommand << QList<int>{19, 19} + block << zeros(7);
    QTest::newRow("reply in pieces") << SimFault::Pieces << QList<int>{6, 6, 7} + block
                                     << QList<int>{0, 20, 20, 0, 0, 0, 0, 0};
    QTest::newRow("silent") << SimFault::Silent << QList<int>() << QList<int>();
}

void TestSimDevice::datagramLayout()
{
    QFETCH(SimFault, fault);
    QFETCH(QList<int>, sizes);
    QFETCH(QList<int>, expectedDelays);

    SimDevice device(SimProfile::udp({200, 150}));
    device.setFault(0xF1, fault);
    const SimFrame command = frame(7, 0xF1, 0x02, 0, 0xBC, 0x02);
    const QList<SimWrite> writes = device.feed(SimDevice::commandFrame(command));
    QList<int> got;
    for (const SimWrite &w : writes)
        got.append(w.bytes.size());
    QCOMPARE(got, sizes);
    QCOMPARE(delays(writes), expectedDelays);
    if (fault == SimFault::None)
        QCOMPARE(joined(writes), replyBytes(command, SimProfile::udp()));
}

void TestSimDevice::commandSplitOverDatagrams()
{
    // A command with a 1200-byte block, cut at 540 bytes as a UDP host sends it,
    // is one command; only its last datagram is answered.
    SimDevice device(SimProfile::udp());
    QByteArray block(1200, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i * 13);
    const SimFrame command = frame(3, 0xE0, 0x01, 0, 0xB0, 0x04, block);
    const QByteArray bytes = SimDevice::commandFrame(command);
    QCOMPARE(bytes.size(), 1219);
    QVERIFY(device.feed(bytes.left(540)).isEmpty());
    QVERIFY(device.feed(bytes.mid(540, 540)).isEmpty());
    const QList<SimWrite> writes = device.feed(bytes.mid(1080));
    QCOMPARE(writes.size(), 1);
    QCOMPARE(writes.first().bytes, SimDevice::replyFrame(SimDevice::replyFor(command)));
    const QList<SimFrame> seen = device.receivedCommands();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().block, block);
}

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
