// Throughput of the two dispatcher workers with a device that answers at once, and
// the CPU the idle workers cost. Prints figures; not a pass/fail test.
#include "cmddealmodule.h"
#include "dispatcherstate.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Workers
{
    explicit Workers(CmdDealModule &m)
        : module(m)
    {
        module.bSendWorkRun = true;
        module.bReceiveWorkRun = true;
        send = std::thread(&CmdDealModule::GetQueueWork, &module);
        receive = std::thread(&CmdDealModule::ReceiveGetQueueWork, &module);
    }
    ~Workers()
    {
        module.bSendWorkRun = false;
        module.bReceiveWorkRun = false;
        send.join();
        receive.join();
    }
    CmdDealModule &module;
    std::thread send;
    std::thread receive;
};

void throughput(int commands)
{
    CmdDealModule module;
    std::atomic<int> replies{0};
    std::vector<Clock::time_point> sentAt(commands), answeredAt(commands);
    std::atomic<int> sentCount{0};
    QObject::connect(&module, &CmdDealModule::signalSendMessage, [&](void *p) {
        const auto &sent = *static_cast<ProtocolData *>(p);
        sentAt[sent.wExt1] = Clock::now();
        ++sentCount;
        // The device answers at once, as a transport queues a reply it accepted.
        queueReply(replyTo(sent));
    });
    QObject::connect(&module, &CmdDealModule::signalSendReceiveMessage, [&](void *) {
        answeredAt[replies] = Clock::now();
        ++replies;
    });

    for (int i = 0; i < commands; ++i) {
        ProtocolData p;
        p.byCmd = 0x42;
        p.wExt1 = static_cast<unsigned short>(i);
        p.iTimeoutMs = 6000;
        queueCommand(p);
    }
    const auto start = Clock::now();
    Workers workers(module);
    while (replies < commands)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::vector<double> latencyMs;
    for (int i = 0; i < commands; ++i)
        latencyMs.push_back(std::chrono::duration<double, std::milli>(answeredAt[i] - sentAt[i]).count());
    std::sort(latencyMs.begin(), latencyMs.end());

    std::printf("in-process device, %d commands: %.1f s, %.1f commands/s "
                "(design limit: one release per 10 ms poll = 100/s)\n",
                commands, seconds, commands / seconds);
    std::printf("  release -> reply delivered: median %.2f ms, p99 %.2f ms\n",
                latencyMs[latencyMs.size() / 2], latencyMs[latencyMs.size() * 99 / 100]);
}

void idleCost(int seconds)
{
    CmdDealModule module;
    const double cpuBefore = processCpuSeconds();
    const auto start = Clock::now();
    {
        Workers workers(module);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = processCpuSeconds() - cpuBefore;
    std::printf("two idle workers for %.1f s: %.0f ms CPU (%.2f %% of one core)\n",
                wall, cpu * 1000, 100.0 * cpu / wall);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The workers log every release; keep the figures readable.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    throughput(600);
    idleCost(10);
    return 0;
}
