// A transport's replies reach the dispatcher's queue in the order it decoded them,
// and the thread that decodes never waits for the dispatcher's locks to post one.
#include "cmddealmodule.h"
#include "dispatcherstate.h"
#include "replyhandoff.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

namespace {

ProtocolData numbered(int n)
{
    ProtocolData r;
    r.byCmd = 0x42;
    r.byParam1 = static_cast<unsigned char>(n & 0xFF);
    r.byParam2 = static_cast<unsigned char>(n >> 8);
    return r;
}

int numberOf(const ProtocolData &r)
{
    return r.byParam1 | r.byParam2 << 8;
}

QList<int> queuedNumbers()
{
    QList<int> numbers;
    for (const ProtocolData &r : takeQueuedReplies())
        numbers.append(r.byCmd == 0x42 ? numberOf(r) : -1);
    return numbers;
}

QList<int> range(int from, int to)
{
    QList<int> numbers;
    for (int n = from; n < to; ++n)
        numbers.append(n);
    return numbers;
}

} // namespace

class TestReplyHandOff : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void keepsTheOrderUnderContention();
    void postDoesNotWaitForTheLocks_data();
    void postDoesNotWaitForTheLocks();
    void deliverNowDeliversTheLineFirst();
};

void TestReplyHandOff::init()
{
    resetDispatcherState();
}

void TestReplyHandOff::cleanup()
{
    resetDispatcherState();
}

void TestReplyHandOff::keepsTheOrderUnderContention()
{
    // The host and the workers take the dispatcher's locks at any moment; whether a
    // reply goes at once or is left to the worker, none overtakes another.
    // With the releases between them, fewer than the line holds: none is dropped.
    constexpr int kReplies = ReplyHandOff::kMaxQueuedReplies * 2 / 3;
    std::atomic<bool> done{false};
    std::thread contender([&done]() {
        std::mt19937 random(7);
        while (!done) {
            std::mutex &lock = random() % 2 ? CmdDealModule::HexCmdlock : CmdDealModule::receiveHexCmdlock;
            std::lock_guard<std::mutex> held(lock);
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
        }
    });
    {
        ReplyHandOff handOff;
        for (int n = 0; n < kReplies; ++n) {
            if (n % 3 == 2)
                handOff.postRelease();
            handOff.post(numbered(n));
        }
        QTRY_COMPARE_WITH_TIMEOUT(ReplyHandOff::pending(), 0, 20000);
    }
    done = true;
    contender.join();
    QCOMPARE(queuedNumbers(), range(0, kReplies));
    QVERIFY(CmdDealModule::bRetFlag);
}

void TestReplyHandOff::postDoesNotWaitForTheLocks_data()
{
    QTest::addColumn<int>("replies");
    QTest::addColumn<int>("kept"); // the newest, once the locks are free
    QTest::newRow("a few") << 5 << 5;
    // Read into a value here: bound to a reference, the constant would need its
    // definition from the library, which a Windows DLL does not export.
    const int bound = ReplyHandOff::kMaxQueuedReplies;
    QTest::newRow("more than the queue holds") << bound + 200 << bound;
}

void TestReplyHandOff::postDoesNotWaitForTheLocks()
{
    QFETCH(int, replies);
    QFETCH(int, kept);

    ReplyHandOff handOff;
    std::atomic<bool> posted{false};
    std::thread decoder;
    {
        // A host that holds the command queue's lock as long as it likes.
        std::lock_guard<std::mutex> held(CmdDealModule::HexCmdlock);
        decoder = std::thread([&]() {
            for (int n = 0; n < replies; ++n)
                handOff.post(numbered(n));
            posted = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(posted.load(), 10000);
        // The line holds the newest; the worker may hold one more, waiting.
        QVERIFY(ReplyHandOff::pending() >= kept && ReplyHandOff::pending() <= kept + 1);
    }
    decoder.join();
    QTRY_COMPARE_WITH_TIMEOUT(ReplyHandOff::pending(), 0, 10000);
    QCOMPARE(queuedNumbers(), range(replies - kept, replies));
}

void TestReplyHandOff::deliverNowDeliversTheLineFirst()
{
    // A reply queued at once comes after those decoded before it, and the whole
    // line is on the queue when the call returns.
    ReplyHandOff handOff;
    {
        std::lock_guard<std::mutex> held(CmdDealModule::receiveHexCmdlock);
        std::thread decoder([&]() {
            handOff.post(numbered(1));
            handOff.post(numbered(2));
        });
        decoder.join();
    }
    handOff.deliverNow(numbered(3));
    QCOMPARE(queuedNumbers(), (QList<int>{1, 2, 3}));
    QCOMPARE(ReplyHandOff::pending(), 0);
}

QTEST_GUILESS_MAIN(TestReplyHandOff)
#include "tst_replyhandoff.moc"
