#include "dispatcherhost.h"

#include <QElapsedTimer>
#include <QtTest>

using Host = DispatcherHost;

namespace {
constexpr int kDeadline = 10000;
}

// The host-side watchdog operations: the sleeping watchdog, clearing after repeated
// expiries, and the timed sleep.
class TestWatchdog : public QObject
{
    Q_OBJECT

private slots:
    void staleSerialNumberReturnsQuietly();
    void answeredCommandJustReleasesTheQueue();
    void resendsOnceThenStops();
    void skipEmptiesTheQueue();
    void timeoutClearQueue_data();
    void timeoutClearQueue();
    void setWatchdogSleepTime_data();
    void setWatchdogSleepTime();
};

void TestWatchdog::staleSerialNumberReturnsQuietly()
{
    Host host;
    host.module().curCmd.iTimeoutMs = 30;
    CmdDealModule::iSN = 5;
    CmdDealModule::bRetFlag = false;

    QElapsedTimer timer;
    timer.start();
    host.module().timeoutWatchdog(4);
    QVERIFY(timer.elapsed() >= 25);
    QVERIFY(host.events().isEmpty());
    QVERIFY(!CmdDealModule::bRetFlag);
    QCOMPARE(CmdDealModule::iTimeoutCount.load(), 0);
}

void TestWatchdog::answeredCommandJustReleasesTheQueue()
{
    Host host;
    host.module().curCmd.iTimeoutMs = 0;
    CmdDealModule::iSN = 7;
    CmdDealModule::bRetFlag = true;
    host.module().timeoutWatchdog(7);
    QVERIFY(host.events().isEmpty());
    QVERIFY(CmdDealModule::bRetFlag);
    QCOMPARE(CmdDealModule::iTimeoutCount.load(), 0);
}

void TestWatchdog::resendsOnceThenStops()
{
    Host host;
    host.module().curCmd = Host::command(0x21, 0, 40);
    host.module().curCmd.bySN = 6;
    CmdDealModule::iSN = 7;
    CmdDealModule::bRetFlag = false;

    host.module().timeoutWatchdog(7);
    // The resend is out; the re-armed watchdog runs on its own thread.
    QCOMPARE(host.count(Host::InitCore), 1);
    QCOMPARE(host.count(Host::Send), 1);
    QCOMPARE(int(host.events(Host::Send).first().record.bySN), 6);

    QTRY_VERIFY_WITH_TIMEOUT(CmdDealModule::bRetFlag, kDeadline);
    QCOMPARE(CmdDealModule::iTimeoutCount.load(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(host.debugCount(QStringLiteral("Resend stop")), 1, kDeadline);
    // This variant gives up without telling the host.
    QCOMPARE(host.count(Host::TimeOut), 0);
    QCOMPARE(host.count(Host::Send), 1);
}

void TestWatchdog::skipEmptiesTheQueue()
{
    Host host;
    for (int i = 0; i < 4; ++i)
        queueCommand(Host::command(0x01));
    host.module().setSkipSendcmd(true);
    host.module().timeoutWatchdog(CmdDealModule::iSN);
    QCOMPARE(CmdDealModule::commandQueueSize(), 0);
    QVERIFY(host.events().isEmpty());
}

void TestWatchdog::timeoutClearQueue_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("clears");
    QTest::newRow("9 keeps") << 9 << false;
    QTest::newRow("10 clears") << 10 << true;
}

void TestWatchdog::timeoutClearQueue()
{
    QFETCH(int, count);
    QFETCH(bool, clears);
    Host host;
    for (int i = 0; i < 3; ++i)
        queueCommand(Host::command(0x01));
    CmdDealModule::iTimeoutCount = count;
    CmdDealModule::bRetFlag = false;

    host.module().timeoutClearQueue();
    QCOMPARE(CmdDealModule::commandQueueSize(), clears ? 0 : 3);
    QCOMPARE(CmdDealModule::iTimeoutCount.load(), clears ? 0 : count);
    QCOMPARE(host.debugCount(QStringLiteral("Clear QueueHexCmd!")), clears ? 1 : 0);
    QVERIFY(!CmdDealModule::bRetFlag);
    QCOMPARE(CmdDealModule::iSN.load(), 1);
}

void TestWatchdog::setWatchdogSleepTime_data()
{
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("zero returns at once") << 0;
    QTest::newRow("negative returns at once") << -100;
    QTest::newRow("60 ms") << 60;
}

void TestWatchdog::setWatchdogSleepTime()
{
    QFETCH(int, timeoutMs);
    Host host;
    host.module().curCmd.iTimeoutMs = timeoutMs;
    QElapsedTimer timer;
    timer.start();
    host.module().setWatchdogSleepTime();
    if (timeoutMs > 0)
        QVERIFY(timer.elapsed() >= timeoutMs - 5);
    else
        QVERIFY(timer.elapsed() < 1000);
}

QTEST_GUILESS_MAIN(TestWatchdog)
#include "tst_watchdog.moc"
