#include "detachedjob.h"
#include "dispatcherhost.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Destroying a dispatcher object while threads still use it: the destructor must
// wait for them (briefly), and they must never touch the freed object.
class TestLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void init() { resetDispatcherState(); }
    void cleanup() { resetDispatcherState(); }
    void destroyWhileWorkersRun();
    void destroyWhileWatchdogSleeps();
    void destroyWaitsForDetachedJobs();
    void jobsBeyondTheCapRunOnTheCaller();
    void listOwnsItsRecords();
};

void TestLifecycle::destroyWhileWorkersRun()
{
    auto *module = new CmdDealModule;
    module->bSendWorkRun = true;
    module->bReceiveWorkRun = true;
    std::thread(&CmdDealModule::GetQueueWork, module).detach();
    std::thread(&CmdDealModule::ReceiveGetQueueWork, module).detach();
    // Let both loops get going with traffic.
    for (int i = 0; i < 5; ++i) {
        queueCommand(DispatcherHost::command(0x42, 0, 0));
        queueReply(DispatcherHost::command(0x42));
    }
    // Both loops are inside the object: the send worker has released, the receive
    // worker has taken the replies. (A thread not yet inside is the host's to join.)
    QTRY_VERIFY_WITH_TIMEOUT(CmdDealModule::iSN > 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(CmdDealModule::replyQueueSize(), 0, 10000);

    QElapsedTimer timer;
    timer.start();
    delete module; // AddressSanitizer reports any later use by the detached loops
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
}

void TestLifecycle::destroyWhileWatchdogSleeps()
{
    auto *module = new CmdDealModule;
    module->curCmd.iTimeoutMs = 60000;
    // Started through the object, as its own re-arming does, so the destructor counts
    // the watchdog from the start (a thread of the host's would be the host's to join).
    const int sn = CmdDealModule::iSN;
    module->runDetached([module, sn] { module->timeoutWatchdog(sn); });

    QElapsedTimer timer;
    timer.start();
    delete module;
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
}

void TestLifecycle::destroyWaitsForDetachedJobs()
{
    auto *module = new CmdDealModule;
    std::atomic<int> done{0};
    for (int i = 0; i < 4; ++i) {
        queueCommand(DispatcherHost::command(0x01));
        module->runDetached([module, &done] {
            module->clearQueue();
            ++done;
        });
    }
    delete module;
    QCOMPARE(done.load(), 4);
    QCOMPARE(CmdDealModule::commandQueueSize(), 0);
}

void TestLifecycle::jobsBeyondTheCapRunOnTheCaller()
{
    // A flood of replies must not become a flood of threads: with the cap's worth
    // of jobs running, the next one runs on the calling thread. The jobs of the
    // tests before count until their threads have ended.
    QTRY_COMPARE_WITH_TIMEOUT(DetachedJob::running(), 0, 10000);
    std::mutex mutex;
    std::condition_variable released;
    bool go = false;
    std::atomic<int> finished{0};
    for (int i = 0; i < DetachedJob::kMaxRunning; ++i) {
        QVERIFY(DetachedJob::start([&] {
            std::unique_lock<std::mutex> lock(mutex);
            released.wait(lock, [&] { return go; });
            ++finished;
        }));
    }
    std::thread::id ranOn;
    QVERIFY(!DetachedJob::start([&] { ranOn = std::this_thread::get_id(); }));
    QCOMPARE(ranOn, std::this_thread::get_id());
    {
        std::lock_guard<std::mutex> lock(mutex);
        go = true;
    }
    released.notify_all();
    QTRY_COMPARE_WITH_TIMEOUT(finished.load(), DetachedJob::kMaxRunning, 10000);
    // The running jobs have ended, and a thread takes the next one again.
    QTRY_VERIFY_WITH_TIMEOUT(DetachedJob::start([] {}), 10000);
}

void TestLifecycle::listOwnsItsRecords()
{
    // Freed when the library unloads; the leak checker of the sanitizer run
    // reports them otherwise.
    CmdDealModule::ListCMDS.append(new ProtocolData);
    CmdDealModule::ListCMDS.append(nullptr);
    QCOMPARE(CmdDealModule::ListCMDS.size(), 2);
}

QTEST_GUILESS_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
