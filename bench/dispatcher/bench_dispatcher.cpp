// Throughput of the two dispatcher workers with a device that answers at once, and
// the CPU that idle workers and idle open serial and USB transports cost, beside the
// floor that sleeping at the workers' polls sets on the machine. Prints figures; not
// a pass/fail test.
#include "cmddealmodule.h"
#include "dispatcherstate.h"
#include "percentile.h"
#include "portserial.h"
#include "portusb.h"
#include "quietline.h"
#include "usbdevice.h"

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

    std::printf("in-process device, %d commands: %.1f s, %.1f commands/s "
                "(design limit: one release per 10 ms poll = 100/s)\n",
                commands, seconds, commands / seconds);
    std::printf("  release -> reply delivered: median %.2f ms, p99 %.2f ms\n",
                Percentile::of(latencyMs, 0.5), Percentile::of(latencyMs, 0.99));
}

struct Cost
{
    double wallSeconds;
    double cpuSeconds;
};

// CPU the process spends while run() keeps something idle for its duration.
template <typename Run>
Cost measure(Run run)
{
    const double cpuBefore = processCpuSeconds();
    const auto start = Clock::now();
    run();
    return {std::chrono::duration<double>(Clock::now() - start).count(), processCpuSeconds() - cpuBefore};
}

void report(const char *what, const Cost &c)
{
    std::printf("  %-62s %5.0f ms CPU in %4.1f s = %.2f %% of one core\n", what, c.cpuSeconds * 1000,
                c.wallSeconds, 100.0 * c.cpuSeconds / c.wallSeconds);
}

void idleCost(int seconds)
{
    const auto idleFor = [seconds]() { std::this_thread::sleep_for(std::chrono::seconds(seconds)); };
    std::printf("idle cost, %d s each:\n", seconds);

    report("two idle workers (polls of 10 ms and 5 ms)", measure([&]() {
        CmdDealModule module;
        Workers workers(module);
        idleFor();
    }));

    // The floor the polls themselves set on this machine: the same two sleeps, no work.
    report("for comparison: two bare threads sleeping 10 ms and 5 ms", measure([&]() {
        std::atomic<bool> run{true};
        const auto sleeper = [&run](int ms) {
            while (run)
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
        std::thread a(sleeper, 10);
        std::thread b(sleeper, 5);
        idleFor();
        run = false;
        a.join();
        b.join();
    }));

    // An open serial transport on a quiet line: its parser thread sleeps until bytes come.
    // Opened before the measurement: the row is what an open port costs while idle.
    {
        const QuietLine line;
        PortSerial port;
        if (line.portName().isEmpty())
            std::printf("  open serial transport: %s\n", qPrintable(line.error()));
        else if (port.openSerialPort(line.portName(), QSerialPort::Baud115200, QSerialPort::OneStop,
                                     QSerialPort::NoParity, QSerialPort::NoFlowControl, QSerialPort::Data8))
            report("an open serial transport, nothing received", measure(idleFor));
        else
            std::printf("  open serial transport: cannot open %s\n", qPrintable(line.portName()));
    }

    // An open USB transport with nothing to read: its read thread waits in the read,
    // the hot-plug watcher looks every 100 ms.
    UsbDevice device(0x4c56, 0x0105);
    QString error;
    if (!device.start(&error)) {
        std::printf("  open USB transport: %s\n", qPrintable(error));
        return;
    }
    PortUSB port;
    if (port.openUSB(0x4c56, 0x0105))
        report("an open USB transport on the simulated bus, nothing received", measure(idleFor));
    else
        std::printf("  open USB transport: cannot open %s\n", qPrintable(device.endpoint()));
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
