#include "dispatcherhost.h"

#include <QtTest>

#include <atomic>
#include <set>

using Host = DispatcherHost;

namespace {
constexpr int kDeadline = 10000;

void answerEverything(Host &host)
{
    host.setDevice([](const ProtocolData &sent) { queueReply(replyTo(sent)); });
}
} // namespace

// The send and receive workers as a host sees them: release order, serial numbers,
// size reports, skip and clear, the resend-then-give-up timeline and reply delivery.
class TestWorkers : public QObject
{
    Q_OBJECT

private slots:
    void releasesInOrderWithSerialNumbers();
    void recordSurvivesTheQueueUnchanged();
    void serialNumberWrapsAt256();
    void oneCommandInFlight();
    void sysPlanReleasesWithoutWaiting();
    void queueSizeReports();
    void mainFrameProcessingOff();
    void idleQueueReportsNothing();
    void skipDiscardsSilently();
    void clearQueueOnEmptyQueue();
    void clearQueueCancelsExpiry();
    void clearQueueRacingReleasesLosesNothing();
    void resendThenGiveUp_data();
    void resendThenGiveUp();
    void replyBetweenExpiriesPreventsGiveUp();
    void giveUpLeavesCountUntilNextRelease();
    void repliesAreCheckedAndEmittedInOrder();
    void droppedReplyStillReleasesNext();
};

void TestWorkers::releasesInOrderWithSerialNumbers()
{
    Host host;
    answerEverything(host);
    for (unsigned char c : {0x10, 0x20, 0x30})
        queueCommand(Host::command(c));
    host.startWorkers();

    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Reply), 3, kDeadline);
    const auto sent = host.events(Host::Send);
    QCOMPARE(sent.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(int(sent[i].record.byCmd), 0x10 * (i + 1));
        QCOMPARE(int(sent[i].record.bySN), i + 1);
    }
    QCOMPARE(CmdDealModule::iSN.load(), 4);

    // Each release emits the two send signals back to back, then the size.
    const auto all = host.events();
    QCOMPARE(all[0].kind, Host::Send);
    QCOMPARE(all[1].kind, Host::Uipro);
    QCOMPARE(int(all[1].record.bySN), 1);
    QCOMPARE(all[2].kind, Host::QueueSize);
    QCOMPARE(all[2].value, 2);
}

void TestWorkers::recordSurvivesTheQueueUnchanged()
{
    Host host;
    ProtocolData in = Host::command(0x42, 0x07);
    in.strLabel = QStringLiteral("label ü");
    in.byReplySource = 9;
    in.strSource = QStringLiteral("src");
    in.wExt1 = 0xFFFF;
    in.wExt2 = 2;
    in.byExt3 = 3;
    in.wExt4 = 4;
    in.wExt5 = 5;
    in.wExt6 = 6;
    in.byParam1 = 0x11;
    in.byParam2 = 0x22;
    in.byParam3 = 0x33;
    in.byCheckSum = 0x44;
    in.strNote = QStringLiteral("note");
    in.baData = QByteArray("\x00\xFF\x80", 3);
    in.bySendMode = 1;
    in.iDeviceType = ModulelEnum::DeviceDisplay;
    queueCommand(in);
    host.startWorkers(true, false);

    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Send), 1, kDeadline);
    const ProtocolData out = host.events(Host::Send).first().record;
    QCOMPARE(out.strLabel, in.strLabel);
    QCOMPARE(out.byReplySource, in.byReplySource);
    QCOMPARE(out.strSource, in.strSource);
    QCOMPARE(out.byHead, in.byHead);
    QCOMPARE(out.wExt1, in.wExt1);
    QCOMPARE(out.wExt2, in.wExt2);
    QCOMPARE(out.byExt3, in.byExt3);
    QCOMPARE(out.wExt4, in.wExt4);
    QCOMPARE(out.wExt5, in.wExt5);
    QCOMPARE(out.wExt6, in.wExt6);
    QCOMPARE(int(out.bySN), 1); // the only field a release changes
    QCOMPARE(out.byCmd, in.byCmd);
    QCOMPARE(out.bySubCmd, in.bySubCmd);
    QCOMPARE(out.byParam1, in.byParam1);
    QCOMPARE(out.byParam2, in.byParam2);
    QCOMPARE(out.byParam3, in.byParam3);
    QCOMPARE(out.byCheckSum, in.byCheckSum);
    QCOMPARE(out.iTimeoutMs, in.iTimeoutMs);
    QCOMPARE(out.strNote, in.strNote);
    QCOMPARE(out.baData, in.baData);
    QCOMPARE(out.bySendMode, in.bySendMode);
    QCOMPARE(out.iDeviceType, in.iDeviceType);
}

void TestWorkers::serialNumberWrapsAt256()
{
    Host host;
    answerEverything(host);
    CmdDealModule::iSN = 255;
    queueCommand(Host::command(0x01));
    queueCommand(Host::command(0x02));
    host.startWorkers();

    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Send), 2, kDeadline);
    const auto sent = host.events(Host::Send);
    QCOMPARE(int(sent[0].record.bySN), 255);
    QCOMPARE(int(sent[1].record.bySN), 0);
    QTRY_COMPARE_WITH_TIMEOUT(CmdDealModule::iSN.load(), 257, kDeadline);
}

void TestWorkers::oneCommandInFlight()
{
    Host host;
    queueCommand(Host::command(0x01, 0, 60000));
    queueCommand(Host::command(0x02, 0, 60000));
    host.startWorkers();

    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Send), 1, kDeadline);
    QVERIFY(!CmdDealModule::bRetFlag);
    // Many polls later the second command is still waiting for the first reply.
    QTRY_VERIFY_WITH_TIMEOUT(CmdDealModule::iWatchdogSleepCnt >= 30, kDeadline);
    QCOMPARE(host.count(Host::Send), 1);
    QCOMPARE(CmdDealModule::commandQueueSize(), 1);

    queueReply(replyTo(host.events(Host::Send).first().record));
    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Send), 2, kDeadline);
    QCOMPARE(int(host.events(Host::Send).last().record.byCmd), 0x02);
}

void TestWorkers::sysPlanReleasesWithoutWaiting()
{
    Host host;
    CmdDealModule::nSysPlan = 1;
    for (unsigned char c : {0x01, 0x02, 0x03})
        queueCommand(Host::command(c, 0, 60000));
    host.startWorkers();

    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Send), 3, kDeadline);
    const auto sent = host.events(Host::Send);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(int(sent[i].record.bySN), i + 1);
    QVERIFY(CmdDealModule::bRetFlag);
}

void TestWorkers::queueSizeReports()
{
    Host host;
    for (int i = 0; i < 3; ++i)
        queueCommand(Host::command(0x01, 0, 60000));
    host.startWorkers();

    // While the first command waits, the host hears the size about every 20 polls.
    QTRY_VERIFY_WITH_TIMEOUT(host.count(Host::QueueSize) >= 3, kDeadline);
    const auto sizes = host.events(Host::QueueSize);
    QCOMPARE(sizes[0].value, 2); // at the release
    QCOMPARE(sizes[1].value, 2); // periodic, while waiting
    QCOMPARE(sizes[2].value, 2);
}

void TestWorkers::mainFrameProcessingOff()
{
    Host host;
    answerEverything(host);
    CmdDealModule::m_bMainFrameProcessing = false;
    queueCommand(Host::command(0x01));
    queueCommand(Host::command(0x02));
    queueCommand(Host::command(0x03, 0, 60000));
    queueCommand(Host::command(0x04));
    host.setDevice([](const ProtocolData &sent) {
        if (sent.byCmd != 0x03)
            queueReply(replyTo(sent));
    });
    host.startWorkers();

    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Send), 3, kDeadline);
    // Waiting on 0x03 with one command queued: no periodic report either.
    QTRY_VERIFY_WITH_TIMEOUT(CmdDealModule::iWatchdogSleepCnt >= 45, kDeadline);
    const auto sizes = host.events(Host::QueueSize);
    QCOMPARE(sizes.size(), 3);
    for (const auto &e : sizes)
        QCOMPARE(e.value, -2);
}

void TestWorkers::idleQueueReportsNothing()
{
    Host host;
    host.startWorkers();
    // The expiry check still runs on every idle poll.
    QTRY_VERIFY_WITH_TIMEOUT(CmdDealModule::iWatchdogSleepCnt >= 30, kDeadline);
    QVERIFY(host.events().isEmpty());
}

void TestWorkers::skipDiscardsSilently()
{
    Host host;
    host.module().setSkipSendcmd(true);
    for (int i = 0; i < 5; ++i)
        queueCommand(Host::command(0x01));
    host.startWorkers();

    QTRY_COMPARE_WITH_TIMEOUT(CmdDealModule::commandQueueSize(), 0, kDeadline);
    QVERIFY(host.events().isEmpty());
    QCOMPARE(CmdDealModule::iSN.load(), 1);
    QVERIFY(CmdDealModule::bRetFlag);
}

void TestWorkers::clearQueueOnEmptyQueue()
{
    Host host;
    CmdDealModule::bRetFlag = false;
    host.module().clearQueue();
    QVERIFY(CmdDealModule::bRetFlag);
    QCOMPARE(CmdDealModule::iSN.load(), 2);
    QCOMPARE(host.debugCount(QStringLiteral("Clear QueueHexCmd!")), 1);
    QCOMPARE(host.debugCount(QStringLiteral("CmdDealModule::clearQueue()")), 0);
}

void TestWorkers::clearQueueCancelsExpiry()
{
    Host host;
    queueCommand(Host::command(0x01, 0, 300));
    queueCommand(Host::command(0x02, 0, 300));
    queueCommand(Host::command(0x03, 0, 300));
    host.startWorkers();
    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Send), 1, kDeadline);

    host.module().clearQueue();
    QCOMPARE(CmdDealModule::commandQueueSize(), 0);
    QCOMPARE(host.debugCount(QStringLiteral("CmdDealModule::clearQueue()")), 1);

    // The command queued after the clear goes at once, and the cleared one is
    // never resent.
    answerEverything(host);
    queueCommand(Host::command(0x04));
    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Reply), 1, kDeadline);
    const auto sent = host.events(Host::Send);
    QCOMPARE(sent.size(), 2);
    QCOMPARE(int(sent[1].record.byCmd), 0x04);
    QCOMPARE(host.count(Host::InitCore), 0);
}

void TestWorkers::clearQueueRacingReleasesLosesNothing()
{
    Host host;
    answerEverything(host);
    host.startWorkers();

    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        for (int i = 0; i < 300; ++i) {
            ProtocolData p = Host::command(0x50);
            p.wExt1 = static_cast<unsigned short>(i);
            queueCommand(p);
            if (i % 7 == 0)
                std::this_thread::yield();
        }
        feeding = false;
    });
    std::thread clearer([&] {
        while (feeding)
            host.module().clearQueue();
    });
    feeder.join();
    clearer.join();

    // After the race, new commands still flow: nothing is stuck behind a stale flag.
    for (int i = 1000; i < 1003; ++i) {
        ProtocolData p = Host::command(0x51);
        p.wExt1 = static_cast<unsigned short>(i);
        queueCommand(p);
    }
    auto lastSent = [&host] {
        const auto sent = host.events(Host::Send);
        return sent.isEmpty() ? -1 : int(sent.last().record.wExt1);
    };
    QTRY_COMPARE_WITH_TIMEOUT(lastSent(), 1002, kDeadline);
    QTRY_COMPARE_WITH_TIMEOUT(CmdDealModule::commandQueueSize(), 0, kDeadline);

    // Every command was released at most once, in queue order.
    std::set<int> seen;
    int previous = -1;
    for (const auto &e : host.events(Host::Send)) {
        QVERIFY(seen.insert(e.record.wExt1).second);
        QVERIFY(e.record.wExt1 > previous);
        previous = e.record.wExt1;
    }
}

void TestWorkers::resendThenGiveUp_data()
{
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("150 ms") << 150;
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -5;
}

void TestWorkers::resendThenGiveUp()
{
    QFETCH(int, timeoutMs);
    Host host;
    queueCommand(Host::command(0x33, 0, timeoutMs));
    queueCommand(Host::command(0x34));
    host.startWorkers();

    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::TimeOut), 1, kDeadline);
    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Send), 3, kDeadline);

    QList<Host::Kind> kinds;
    QList<int> sns;
    for (const auto &e : host.events()) {
        if (e.kind == Host::QueueSize || e.kind == Host::Uipro)
            continue;
        kinds << e.kind;
        sns << (e.kind == Host::Send ? int(e.record.bySN) : -1);
    }
    const QList<Host::Kind> expected{Host::Send, Host::InitCore, Host::Send, Host::TimeOut, Host::Send};
    QCOMPARE(kinds.mid(0, 5), expected);
    QCOMPARE(sns[0], 1);
    QCOMPARE(sns[2], 1); // the resend carries the same serial number
    QCOMPARE(sns[4], 2);
    QCOMPARE(host.debugCount(QStringLiteral("Timeout watchdog resend! iTimeoutCount: 1")), 1);
    QCOMPARE(host.debugCount(QStringLiteral("Timeout watchdog resend! iTimeoutCount: 2")), 1);
    QCOMPARE(host.debugCount(QStringLiteral("Resend stop")), 1);
}

void TestWorkers::replyBetweenExpiriesPreventsGiveUp()
{
    Host host;
    host.setDevice([&host](const ProtocolData &sent) {
        // Ignore the first attempt, answer the resend.
        if (host.count(Host::InitCore) > 0)
            queueReply(replyTo(sent));
    });
    queueCommand(Host::command(0x33, 0, 150));
    queueCommand(Host::command(0x34, 0, 150));
    host.startWorkers();

    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Reply), 2, kDeadline);
    QCOMPARE(host.count(Host::TimeOut), 0);
    QCOMPARE(host.count(Host::InitCore), 1);
    const auto replies = host.events(Host::Reply);
    QCOMPARE(int(replies[0].record.byCmd), 0x33);
    QCOMPARE(int(replies[1].record.byCmd), 0x34);
}

void TestWorkers::giveUpLeavesCountUntilNextRelease()
{
    Host host;
    queueCommand(Host::command(0x33, 0, 0));
    host.startWorkers();
    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::TimeOut), 1, kDeadline);
    const int pollsAtGiveUp = CmdDealModule::iWatchdogSleepCnt;

    QTRY_VERIFY_WITH_TIMEOUT(CmdDealModule::iWatchdogSleepCnt >= pollsAtGiveUp + 20, kDeadline);
    QCOMPARE(CmdDealModule::iTimeoutCount.load(), 2);
    QCOMPARE(host.count(Host::TimeOut), 1);
    QCOMPARE(host.count(Host::Send), 2);

    answerEverything(host);
    queueCommand(Host::command(0x35));
    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Send), 3, kDeadline);
    QTRY_COMPARE_WITH_TIMEOUT(CmdDealModule::iTimeoutCount.load(), 0, kDeadline);
}

void TestWorkers::repliesAreCheckedAndEmittedInOrder()
{
    Host host;
    ProtocolData first;
    first.byCmd = 0x42;
    first.wExt1 = 1;
    ProtocolData rejected;
    rejected.byCmd = 0x76;
    rejected.byParam1 = 33;
    ProtocolData second;
    second.byCmd = 0x76;
    second.byParam1 = 36;
    second.wExt1 = 2;
    // All three land within one poll.
    queueReply(first);
    queueReply(rejected);
    queueReply(second);
    host.startWorkers(false, true);

    QTRY_COMPARE_WITH_TIMEOUT(CmdDealModule::replyQueueSize(), 0, kDeadline);
    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Reply), 2, kDeadline);
    const auto replies = host.events(Host::Reply);
    QCOMPARE(int(replies[0].record.wExt1), 1);
    QCOMPARE(int(replies[1].record.wExt1), 2);
    QCOMPARE(host.debugCount(QStringLiteral("==============checkRecvData: false")), 1);
    const auto dropped = host.events(Host::Dropped);
    QCOMPARE(dropped.size(), 1);
    QCOMPARE(int(dropped[0].record.byParam1), 33);
}

void TestWorkers::droppedReplyStillReleasesNext()
{
    Host host;
    host.setDevice([](const ProtocolData &sent) {
        ProtocolData bad = replyTo(sent);
        bad.byCmd = 0x76;
        bad.byParam1 = 33;
        queueReply(bad);
    });
    queueCommand(Host::command(0x76, 0, 60000));
    queueCommand(Host::command(0x77, 0, 60000));
    host.startWorkers();

    QTRY_COMPARE_WITH_TIMEOUT(host.count(Host::Send), 2, kDeadline);
    QTRY_COMPARE_WITH_TIMEOUT(host.debugCount(QStringLiteral("==============checkRecvData: false")), 2,
                              kDeadline);
    QCOMPARE(host.count(Host::Reply), 0);
}

QTEST_GUILESS_MAIN(TestWorkers)
#include "tst_workers.moc"
