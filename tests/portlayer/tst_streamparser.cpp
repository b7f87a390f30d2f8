#include "dispatcherstate.h"
#include "framebuilder.h"
#include "logcapture.h"
#include "portserial.h"
#include "replyhandoff.h"
#include "streamparser.h"

#include <QElapsedTimer>
#include <QtTest>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

using FrameBuilder::block;
using FrameBuilder::reply;

namespace {

const QString kSource = QStringLiteral("/dev/ttyTEST");

// The eight header bytes followed by the block: one comparable value per reply.
QByteArray summary(const ProtocolData &r)
{
    const char header[8] = {char(r.byHead), char(r.bySN), char(r.byCmd), char(r.bySubCmd),
                            char(r.byParam1), char(r.byParam2), char(r.byParam3),
                            char(r.byCheckSum)};
    return QByteArray(header, 8).toHex() + ":" + r.baData.toHex();
}

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

QByteArray summaryOf(const QByteArray &replyFrame, const QByteArray &data = QByteArray())
{
    return QByteArray::fromHex(replyFrame.mid(2, 16)).toHex() + ":" + data.toHex();
}

} // namespace

class TestStreamParser : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void pass_data();
    void pass();
    void floodThenReply_data();
    void floodThenReply();
    void bufferKeepsTheNewestBytes();
    void splitArrival_data();
    void splitArrival();
    void wrongHeaderChecksumIsLogged();
    void repliesAreStamped_data();
    void repliesAreStamped();
    void blockWaitEndsAtItsDeadline();
    void directCalls();
    void parserThreadFollowsItsRunFlag();
    void stopEndsTheBlockWait_data();
    void stopEndsTheBlockWait();
    void otherMediumSettings();
    void queueingThreadsOutliveTheParser();
    void peeksOwnTheirBytes();
    void commandSentEndsTheBlockWait_data();
    void commandSentEndsTheBlockWait();
    void replyQueueKeepsTheNewest();

private:
    std::unique_ptr<StreamParser> makeParser(int blockWaitMs = 3);
    QList<ProtocolData> waitForQueuedReplies();

    std::atomic<bool> m_run{false};
    std::atomic<bool> m_exit{false};
};

std::unique_ptr<StreamParser> TestStreamParser::makeParser(int blockWaitMs)
{
    StreamParser::Settings s;
    s.runFlag = &m_run;
    s.exitFlag = &m_exit;
    s.blockWaitMs = blockWaitMs;
    s.debugPrefix = QStringLiteral("PortSerial");
    s.fillReply = [](ProtocolData &r) {
        r.strSource = kSource;
        r.byReplySource = 1;
        r.iDeviceType = ModulelEnum::DeviceDisplay;
    };
    return std::make_unique<StreamParser>(s);
}

QList<ProtocolData> TestStreamParser::waitForQueuedReplies()
{
    // Replies reach the queue through the parser's hand-off.
    const bool settled = QTest::qWaitFor([]() { return ReplyHandOff::pending() == 0; }, 10000);
    if (!settled)
        qWarning("reply-queueing threads still running");
    return takeQueuedReplies();
}

void TestStreamParser::init()
{
    resetDispatcherState();
}

void TestStreamParser::pass_data()
{
    // One pass takes in everything buffered: what it leaves is fewer than 19 bytes.
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("remaining");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArray frame = reply(0x55, 0x01, 0x42, 0x00, 0x03, 0x00, 0x00);
    const QByteArray sevenNine = reply(0x55, 0x02, 0x79, 0x00, 0x00, 0x05, 0x00);
    const QByteArray fiveBytes = block("\x01\x02\x03\x04");

    QTest::newRow("18 bytes wait for more") << frame.left(18) << 18 << QByteArrayList();
    QTest::newRow("30 bytes without [") << QByteArray(30, 'x') << 0 << QByteArrayList();
    QTest::newRow("2000 bytes without [") << QByteArray(2000, 'x') << 0 << QByteArrayList();
    QTest::newRow("a [ whose next byte has not come stays")
        << QByteArray(29, 'x') + "[" << 1 << QByteArrayList();
    QTest::newRow("garbage before a frame")
        << QByteArray("\x00\xff", 2) + frame << 0 << QByteArrayList{summaryOf(frame)};
    QTest::newRow("lower-case digits") << frame << 0 << QByteArrayList{summaryOf(frame)};
    QTest::newRow("upper-case digits decode alike")
        << reply(0x55, 0x01, 0x42, 0x00, 0x03, 0x00, 0x00, true) << 0
        << QByteArrayList{summaryOf(frame)};
    QTest::newRow("echoed command frame is skipped")
        << QByteArray("[A55014200030000" "9b]") + frame << 0 << QByteArrayList{summaryOf(frame)};
    QTest::newRow("[ not followed by R is dropped") << QByteArray("[x") + QByteArray(20, 'y') << 0
                                                    << QByteArrayList();
    QTest::newRow("[R without ] at offset 18 is dropped")
        << frame.left(18) + "x" << 0 << QByteArrayList();
    QTest::newRow("wrong header checksum drops one byte")
        << frame.left(16) + "00]" << 18 << QByteArrayList();
    // Read as zeros, these would pass the checksum as a reply with serial number 0.
    QTest::newRow("digits that do not parse are no frame")
        << QByteArray("[Rzzzzzzzzzzzzzzzz]") << 18 << QByteArrayList();
    QTest::newRow("one pair that does not parse is no frame")
        << QByteArray("[R01zz780000000079]") + frame << 0 << QByteArrayList{summaryOf(frame)};
    QTest::newRow("burst of three frames")
        << frame + frame + frame << 0
        << QByteArrayList{summaryOf(frame), summaryOf(frame), summaryOf(frame)};
    QTest::newRow("[-dense garbage before a frame")
        << QByteArray(4000, '[') + QByteArray("[x").repeated(2000) + frame << 0
        << QByteArrayList{summaryOf(frame)};
    QTest::newRow("[R-dense garbage before a frame")
        << QByteArray("[R").repeated(2000) + frame.left(18) + frame << 0
        << QByteArrayList{summaryOf(frame)};
    QTest::newRow("block of five bytes") << sevenNine + fiveBytes << 0
                                         << QByteArrayList{summaryOf(sevenNine, fiveBytes)};
    QTest::newRow("block length 0 queued at once")
        << reply(0x55, 0x03, 0xE1, 0x00, 0x00, 0x00, 0x00) << 0
        << QByteArrayList{summaryOf(reply(0x55, 0x03, 0xE1, 0x00, 0x00, 0x00, 0x00))};
    const QByteArray oneByte = reply(0x55, 0x04, 0xE1, 0x20, 0x00, 0x01, 0x00);
    QTest::newRow("one-byte block 0x00 accepted")
        << oneByte + QByteArray(1, '\0') << 0
        << QByteArrayList{summaryOf(oneByte, QByteArray(1, '\0'))};
    QTest::newRow("one-byte block 0x01 rejected") << oneByte + "\x01" << 0 << QByteArrayList();
    QTest::newRow("wrong block checksum consumes the block")
        << sevenNine + "\x01\x02\x03\x04\x0b" << 0 << QByteArrayList();
    QTest::newRow("block that never completes stays for resync")
        << sevenNine + "\x01\x02\x03\x04" << 4 << QByteArrayList();
    const QByteArray huge = reply(0x55, 0x05, 0x79, 0x00, 0x00, 0xFF, 0xFF);
    QTest::newRow("64 KB block announced, none sent") << huge << 0 << QByteArrayList();
    QTest::newRow("block given up, the frame behind it is read")
        << huge + "\x01\x02" + frame << 0 << QByteArrayList{summaryOf(frame)};
    const QByteArray eightE27 = reply(0x55, 0x06, 0x8E, 0x27, 0x00, 0x05, 0x00);
    QTest::newRow("0x8E/0x27 awaits its block") << eightE27 + fiveBytes << 0
                                                << QByteArrayList{summaryOf(eightE27, fiveBytes)};
    const QByteArray eightE26 = reply(0x55, 0x07, 0x8E, 0x26, 0x00, 0x05, 0x00);
    QTest::newRow("0x8E/0x26 awaits no block") << eightE26 + fiveBytes << 5
                                               << QByteArrayList{summaryOf(eightE26)};
}

void TestStreamParser::pass()
{
    QFETCH(QByteArray, input);
    QFETCH(int, remaining);
    QFETCH(QByteArrayList, expected);

    auto parser = makeParser();
    parser->append(input);
    parser->dealOnePass();
    QCOMPARE(parser->size(), remaining);

    QByteArrayList got;
    for (const ProtocolData &r : waitForQueuedReplies())
        got << summary(r);
    // Replies without a block are queued by threads of their own, in any order.
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(got, expected);
}

void TestStreamParser::floodThenReply_data()
{
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<int>("piece");
    // 1 MB of garbage, all at once or in reads of 4 KB with a pass after each.
    QTest::newRow("[[[[") << QByteArray("[") << 0;
    QTest::newRow("[x[x") << QByteArray("[x") << 0;
    QTest::newRow("[R[R") << QByteArray("[R") << 0;
    QTest::newRow("[R and 17 digits, no ]") << QByteArray("[R0123456789abcdef0") << 0;
    QTest::newRow("no [ at all") << QByteArray("x") << 0;
    QTest::newRow("[[[[ in reads of 4 KB") << QByteArray("[") << 4096;
    QTest::newRow("[x[x in reads of 4 KB") << QByteArray("[x") << 4096;
}

void TestStreamParser::floodThenReply()
{
    QFETCH(QByteArray, unit);
    QFETCH(int, piece);

    const QByteArray frame = reply(0x55, 0x11, 0x42, 0x00, 0x00, 0x00, 0x00);
    const QByteArray stream = unit.repeated(1000000 / unit.size()) + frame;
    auto parser = makeParser();
    // CPU time of this thread, so that a loaded machine does not count.
    const double start = threadCpuMs();
    if (piece == 0) {
        parser->append(stream);
        parser->dealOnePass();
    } else {
        for (int at = 0; at < stream.size(); at += piece) {
            parser->append(stream.mid(at, piece));
            parser->dealOnePass();
        }
    }
    const double spentMs = threadCpuMs() - start;
    QVERIFY2(spentMs < 1000, qPrintable(QString::number(spentMs)));
    QCOMPARE(parser->size(), 0);
    const QList<ProtocolData> replies = waitForQueuedReplies();
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first().bySN, static_cast<unsigned char>(0x11));
}

void TestStreamParser::bufferKeepsTheNewestBytes()
{
    const auto dropped = [](int n) {
        const QByteArray line = "PortSerial::appendBuffData buffer full, dropped " + QByteArray::number(n) + " oldest bytes";
        QTest::ignoreMessage(QtDebugMsg, line.constData());
    };
    // No parser runs: the reader's appends alone must not grow the buffer without bound.
    auto parser = makeParser(20000);
    const QByteArray frame = reply(0x55, 0x12, 0x42, 0x00, 0x00, 0x00, 0x00);
    dropped(StreamParser::kMaxBuffered / 2);
    dropped(frame.size());
    for (int i = 0; i < 3; ++i)
        parser->append(QByteArray(StreamParser::kMaxBuffered / 2, 'x'));
    parser->append(frame);
    QCOMPARE(parser->size(), StreamParser::kMaxBuffered);
    parser->dealOnePass();
    QCOMPARE(parser->size(), 0);
    QCOMPARE(waitForQueuedReplies().size(), 1);
    // One read larger than the cap keeps only its own tail, where the frame is.
    dropped(100);
    parser->append(QByteArray(StreamParser::kMaxBuffered + 100 - frame.size(), '[') + frame);
    QCOMPARE(parser->size(), StreamParser::kMaxBuffered);
    parser->dealOnePass();
    QCOMPARE(waitForQueuedReplies().size(), 1);

    // Bytes a waiting block reception has not taken yet are dropped all the same; it
    // then gives up rather than take newer bytes for its block.
    m_run = true;
    QVERIFY(parser->startParserThread());
    const QByteArray announcing = reply(0x55, 0x13, 0x79, 0x00, 0x00, 0x05, 0x00);
    parser->append(announcing + "\x01\x02");
    QTRY_COMPARE_WITH_TIMEOUT(parser->peek(100), QByteArray("\x01\x02"), 10000);
    QTest::ignoreMessage(QtDebugMsg, QByteArray("Recv data:" + announcing + " CheckBlock default:").constData());
    // Zeros: a block of them would pass its checksum.
    dropped(2);
    parser->append(QByteArray(StreamParser::kMaxBuffered, '\0'));
    QTRY_VERIFY_WITH_TIMEOUT(parser->size() < 19, 10000);
    m_run = false;
    parser->stopParserThread();
    QCOMPARE(waitForQueuedReplies().size(), 0);
}

void TestStreamParser::splitArrival_data()
{
    QTest::addColumn<int>("split");
    QTest::newRow("after the [") << 1;
    QTest::newRow("after [R") << 2;
    QTest::newRow("inside the digits") << 10;
    QTest::newRow("before the ]") << 18;
    QTest::newRow("inside the block") << 20;
}

void TestStreamParser::splitArrival()
{
    QFETCH(int, split);
    // A block wait far longer than the second part can take to come.
    auto parser = makeParser(10000);
    const QByteArray frame = reply(0x55, 0x09, 0x79, 0x00, 0x00, 0x03, 0x00);
    const QByteArray data = block("\x10\x20");
    const QByteArray stream = frame + data;

    parser->append(stream.left(split));
    if (split < 19) {
        parser->dealOnePass();
        QCOMPARE(parser->size(), split);
        parser->append(stream.mid(split));
        parser->dealOnePass();
    } else {
        // The rest comes once the parser has taken the frame and waits for the block.
        std::thread late([&parser, &stream, split]() {
            while (parser->size() != split - 19)
                std::this_thread::yield();
            parser->append(stream.mid(split));
        });
        parser->dealOnePass();
        late.join();
    }
    QCOMPARE(parser->size(), 0);
    const QList<ProtocolData> replies = waitForQueuedReplies();
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first().baData, data);
}

void TestStreamParser::wrongHeaderChecksumIsLogged()
{
    auto parser = makeParser();
    const QByteArray bad = QByteArray("[R0102030405060700]");
    QTest::ignoreMessage(QtDebugMsg, "PortSerial::getArrayData   dataStr==0102030405060700");
    parser->append(bad);
    parser->dealOnePass();
    QCOMPARE(parser->peek(100), bad.mid(1));
    QCOMPARE(waitForQueuedReplies().size(), 0);
    QVERIFY(CmdDealModule::bRetFlag);
}

void TestStreamParser::repliesAreStamped_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("without block") << reply(0x55, 0x01, 0x42, 0x00, 0x00, 0x00, 0x00);
    QTest::newRow("block length 0") << reply(0x55, 0x01, 0xE1, 0x00, 0x00, 0x00, 0x00);
    QTest::newRow("with block") << reply(0x55, 0x01, 0x79, 0x00, 0x00, 0x02, 0x00) + block("\x07");
}

void TestStreamParser::repliesAreStamped()
{
    QFETCH(QByteArray, input);
    CmdDealModule::bRetFlag = false;
    auto parser = makeParser();
    parser->append(input);
    parser->dealOnePass();
    const QList<ProtocolData> replies = waitForQueuedReplies();
    QCOMPARE(replies.size(), 1);
    const ProtocolData &r = replies.first();
    QCOMPARE(r.strSource, kSource);
    QCOMPARE(r.byReplySource, static_cast<unsigned char>(1));
    QCOMPARE(r.iDeviceType, ModulelEnum::DeviceDisplay);
    QVERIFY(r.strLabel.isEmpty());
    QCOMPARE(r.bySN, static_cast<unsigned char>(1));
    // Queueing a reply lets the send worker release the next command.
    QVERIFY(CmdDealModule::bRetFlag);
}

void TestStreamParser::blockWaitEndsAtItsDeadline()
{
    // The serial transport's own wait, 150 tries of 4 ms, is one deadline on the
    // clock: 600 ms, however the bytes come meanwhile. (A loaded machine may add to
    // it, never take away.)
    PortSerial parser;
    const QByteArray frame = reply(0x55, 0x02, 0x79, 0x00, 0x00, 0x05, 0x00);
    parser.appendBuffData(frame + "\x01");
    QTest::ignoreMessage(QtDebugMsg, QByteArray("Recv data:" + frame + " CheckBlock default:").constData());
    QElapsedTimer timer;
    timer.start();
    std::thread trickle([&parser] {
        // At 200, 400 and 500 ms: a wait that began again with each byte would end
        // at 1,100 ms.
        for (int ms : {200, 200, 100}) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            parser.appendBuffData("\x02");
        }
    });
    parser.dealOnePass();
    const qint64 waited = timer.elapsed();
    trickle.join();
    QVERIFY2(waited >= 595 && waited < 1000, QByteArray::number(waited));
    QCOMPARE(waitForQueuedReplies().size(), 0);
    QCOMPARE(parser.buffSize(), 4);

    // The stale block bytes go once enough bytes are buffered to resynchronise.
    const QByteArray next = reply(0x55, 0x03, 0x42, 0x00, 0x00, 0x00, 0x00);
    parser.appendBuffData(next);
    parser.dealOnePass();
    QCOMPARE(parser.buffSize(), 0);
    const QList<ProtocolData> replies = waitForQueuedReplies();
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first().bySN, static_cast<unsigned char>(3));
}

void TestStreamParser::directCalls()
{
    auto parser = makeParser();
    parser->append("abcdef");
    QCOMPARE(parser->peek(4), QByteArray("abcd"));
    QCOMPARE(parser->take(2), QByteArray("ab"));
    QCOMPARE(parser->take(100), QByteArray("cdef"));
    QCOMPARE(parser->take(1), QByteArray());

    QVERIFY(!parser->takeFrame(QByteArray("[R01")));

    // Called directly, a resynchronisation is one step: what precedes the first "[",
    // then that "[" unless an "R" follows it.
    parser->append("ab[x[R");
    QVERIFY(!parser->resyncStep(parser->peek(1024)));
    QCOMPARE(parser->peek(1024), QByteArray("x[R"));
    QVERIFY(parser->resyncStep(parser->peek(1024)));
    QCOMPARE(parser->take(100), QByteArray("[R"));

    ProtocolData out;
    out.byCmd = 0x33;
    QVERIFY(!parser->decodeFrame("[R0102030405060700]", &out));
    QCOMPARE(out.byCmd, static_cast<unsigned char>(0x33));
    QVERIFY(parser->decodeFrame("[R010203040506071C]", &out));
    QCOMPARE(out.byCmd, static_cast<unsigned char>(0x03));
    QCOMPARE(out.byCheckSum, static_cast<unsigned char>(0x1c));
    QVERIFY(out.baData.isEmpty());
}

void TestStreamParser::parserThreadFollowsItsRunFlag()
{
    auto parser = makeParser(600);
    m_run = true;
    m_exit = true;
    QVERIFY(parser->startParserThread());
    QVERIFY(!m_exit);

    const QByteArray stream = QByteArray("noise") + reply(0x55, 0x07, 0x42, 0x01, 0x00, 0x00, 0x00)
        + reply(0x55, 0x08, 0x79, 0x00, 0x00, 0x03, 0x00) + block("\x05\x06");
    for (char c : stream)
        parser->append(QByteArray(1, c));
    QTRY_COMPARE_WITH_TIMEOUT(CmdDealModule::replyQueueSize(), 2, 10000);

    // The thread ends by itself once its run flag is cleared, even written directly
    // and not through the medium's operations, which would wake it; stopping it
    // then only joins.
    m_run = false;
    QTRY_VERIFY_WITH_TIMEOUT(m_exit.load(), 10000);
    parser->stopParserThread();
    QCOMPARE(StreamParser::runningParserThreads(), 0);
    QCOMPARE(parser->size(), 0);
    waitForQueuedReplies();
}

void TestStreamParser::stopEndsTheBlockWait_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("withExitFlag");
    QTest::newRow("stop") << "stop" << true;
    QTest::newRow("stop after the run flag was cleared") << "clear, stop" << true;
    QTest::newRow("start again") << "start" << true;
    QTest::newRow("medium without exit flag") << "stop" << false;
}

void TestStreamParser::stopEndsTheBlockWait()
{
    QFETCH(QString, how);
    QFETCH(bool, withExitFlag);

    // A block wait far longer than any deadline below: only the stop can end it.
    StreamParser::Settings s;
    s.runFlag = &m_run;
    s.exitFlag = withExitFlag ? &m_exit : nullptr;
    s.blockWaitMs = 20000;
    StreamParser parser(s);
    m_run = true;
    QVERIFY(parser.startParserThread());
    QCOMPARE(StreamParser::runningParserThreads(), 1);

    const QByteArray frame = reply(0x55, 0x02, 0x79, 0x00, 0x00, 0x05, 0x00);
    parser.append(frame + "\x01\x02");
    QTRY_COMPARE_WITH_TIMEOUT(parser.peek(100), QByteArray("\x01\x02"), 10000);

    QElapsedTimer timer;
    timer.start();
    if (how == QLatin1String("start")) {
        // At most one parser per object: the waiting one is ended before the next runs.
        QVERIFY(parser.startParserThread());
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(StreamParser::runningParserThreads(), 1);
        parser.append(reply(0x55, 0x03, 0x42, 0x00, 0x00, 0x00, 0x00));
        QTRY_COMPARE_WITH_TIMEOUT(parser.size(), 0, 10000);
        QCOMPARE(waitForQueuedReplies().size(), 1);
        parser.stopParserThread();
    } else {
        if (how.startsWith(QLatin1String("clear")))
            m_run = false;
        parser.stopParserThread();
        QVERIFY2(timer.elapsed() < 10000, QByteArray::number(timer.elapsed()));
        if (withExitFlag)
            QVERIFY(m_exit);
        QCOMPARE(waitForQueuedReplies().size(), 0);
    }
    QCOMPARE(StreamParser::runningParserThreads(), 0);
    // Nothing left to wait for.
    timer.restart();
    parser.stopParserThread();
    QVERIFY(timer.elapsed() < 1000);
}

void TestStreamParser::otherMediumSettings()
{
    // The same parser as a medium without block reception configures it: blocks are
    // not awaited, the debug text and the stamping are its own.
    StreamParser::Settings s;
    s.runFlag = &m_run;
    s.awaitBlocks = false;
    s.blockWaitMs = 2;
    s.debugPrefix = QStringLiteral("PortUSB");
    s.fillReply = [](ProtocolData &r) {
        r.strSource = QStringLiteral("USB");
        r.byReplySource = 2;
    };
    s.fillBlockReply = [](ProtocolData &r) { r.byReplySource = 2; };
    StreamParser parser(s);

    const QByteArray frame = reply(0x55, 0x01, 0x79, 0x00, 0x00, 0x05, 0x00);
    parser.append(frame + block("\x01\x02\x03\x04"));
    parser.dealOnePass();
    QCOMPARE(parser.size(), 5);
    QList<ProtocolData> replies = waitForQueuedReplies();
    QCOMPARE(replies.size(), 1);
    QVERIFY(replies.first().baData.isEmpty());
    QCOMPARE(replies.first().strSource, QStringLiteral("USB"));
    QCOMPARE(replies.first().byReplySource, static_cast<unsigned char>(2));

    QTest::ignoreMessage(QtDebugMsg, "PortUSB::getArrayData   dataStr==0102030405060700");
    QVERIFY(!parser.decodeFrame("[R0102030405060700]", &replies.first()));

    ProtocolData direct;
    direct.strSource = QStringLiteral("kept");
    QVERIFY(parser.takeBlock(direct, 5));
    replies = waitForQueuedReplies();
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first().strSource, QStringLiteral("kept"));
    QCOMPARE(replies.first().byReplySource, static_cast<unsigned char>(2));
    QCOMPARE(replies.first().baData, block("\x01\x02\x03\x04"));
}

void TestStreamParser::queueingThreadsOutliveTheParser()
{
    // Each reply without a block is queued by a thread of its own that holds its own
    // copy; destroying the parser right away must not disturb them.
    const int frames = 50;
    {
        auto parser = makeParser();
        for (int i = 0; i < frames; ++i)
            parser->append(reply(0x55, quint8(i), 0x42, 0x00, 0x00, 0x00, 0x00));
        for (int i = 0; i < frames; ++i)
            parser->dealOnePass();
        QCOMPARE(parser->size(), 0);
    }
    const QList<ProtocolData> replies = waitForQueuedReplies();
    QCOMPARE(replies.size(), frames);
    for (const ProtocolData &r : replies)
        QCOMPARE(r.strSource, kSource);
}

void TestStreamParser::peeksOwnTheirBytes()
{
    // What a peek or a take hands out never shares storage with the buffer: the
    // reader's thread appends to the buffer while the parser's holds its copies.
    auto parser = makeParser();
    const QByteArray frame = reply(0x55, 0x01, 0x42, 0x00, 0x00, 0x00, 0x00);
    parser->append(frame);
    const QByteArray first = parser->peek(1024);
    const QByteArray second = parser->peek(1024);
    QCOMPARE(first, frame);
    QVERIFY(!first.isSharedWith(second));
    const QByteArray taken = parser->take(1024);
    QCOMPARE(taken, frame);
    QVERIFY(!taken.isSharedWith(first));
}

void TestStreamParser::commandSentEndsTheBlockWait_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("replies"); // "cmd:block bytes", in order

    // A 0x79 reply announcing a 3-byte block: 0x2a 0x31, then the checksum 0x5b, which
    // is also the "[" that opens the next frame.
    QTest::newRow("block short when the command left")
        << QStringList{"frame", "2 bytes", "send", "next"} << QStringList{"42:0"};
    QTest::newRow("command left between frame and block")
        << QStringList{"frame", "send", "3 bytes", "next"} << QStringList{"42:0"};
    QTest::newRow("block whole before the command") << QStringList{"frame", "3 bytes", "send", "next"}
                                                    << QStringList{"79:3", "42:0"};
    QTest::newRow("command before the frame") << QStringList{"send", "frame", "3 bytes", "next"}
                                              << QStringList{"79:3", "42:0"};
}

void TestStreamParser::commandSentEndsTheBlockWait()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, replies);

    // A block wait far longer than the test: only the command may end it.
    auto parser = makeParser(10000);
    const QByteArray frame = reply(0x55, 0x02, 0x79, 0x00, 0x00, 0x03, 0x00);
    for (const QString &step : steps) {
        if (step == QLatin1String("frame"))
            parser->append(frame);
        else if (step == QLatin1String("2 bytes"))
            parser->append(QByteArray("\x2a\x31", 2));
        else if (step == QLatin1String("3 bytes"))
            parser->append(QByteArray("\x2a\x31\x5b", 3));
        else if (step == QLatin1String("send"))
            parser->commandSent();
        else
            parser->append(reply(0x55, 0x03, 0x42, 0x00, 0x00, 0x00, 0x00));
    }
    QElapsedTimer timer;
    timer.start();
    while (parser->size() > 0 && timer.elapsed() < 5000)
        parser->dealOnePass();
    QCOMPARE(parser->size(), 0);
    QStringList got;
    for (const ProtocolData &r : waitForQueuedReplies())
        got << QStringLiteral("%1:%2").arg(r.byCmd, 2, 16, QLatin1Char('0')).arg(r.baData.size());
    QCOMPARE(got, replies);
}

void TestStreamParser::replyQueueKeepsTheNewest()
{
    // Every medium queues through the same path, and the queue is bounded there:
    // beyond the bound the oldest replies go, and the debug log counts them.
    LogCapture log;
    const int bound = ReplyHandOff::kMaxQueuedReplies;
    for (int i = 0; i < bound + 10; ++i) {
        ProtocolData r;
        r.wExt1 = static_cast<unsigned short>(i);
        ReplyHandOff::queue(r);
    }
    const QList<ProtocolData> kept = takeQueuedReplies();
    QCOMPARE(kept.size(), bound);
    QCOMPARE(int(kept.first().wExt1), 10);
    QCOMPARE(int(kept.last().wExt1), bound + 9);
    // What is not reported yet is once the queue is down to half.
    ReplyHandOff::queue(ProtocolData());
    int dropped = 0;
    for (const QString &line : log.lines().filter(QStringLiteral("Reply queue full: dropped")))
        dropped += line.section(QLatin1Char(' '), 4, 4).toInt();
    QCOMPARE(dropped, 10);
}

QTEST_GUILESS_MAIN(TestStreamParser)
#include "tst_streamparser.moc"
