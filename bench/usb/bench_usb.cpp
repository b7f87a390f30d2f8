// Commands per second and round-trip latency (release -> accepted reply) through
// the simulated HID bus with the simulated device answering at once, beside the
// in-process, serial and UDP figures and the design limit of one release per
// 10 ms send-worker poll; then the CPU an open, idle PortUSB takes. Prints
// figures; not a pass/fail test.
#include "cmddealmodule.h"
#include "conntype.h"
#include "portinterface.h"
#include "portusb.h"
#include "roundtrip.h"
#include "usbdevice.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>

namespace {

constexpr int kCommands = 600;
constexpr quint16 kVendor = 0x4c56;
constexpr quint16 kProduct = 0x0105;
constexpr int kIdleSeconds = 10;

// Per cent of one core the process uses over kIdleSeconds while this thread's
// event loop runs idle.
double idleCpuPercent()
{
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    QEventLoop loop;
    QTimer::singleShot(kIdleSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return 100.0 * cpu / wall;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    RoundTrip::quiet();

    std::printf("bench_usb: one command in flight at a time; latency is release -> accepted reply\n");
    RoundTrip::Result local;
    if (!RoundTrip::printBaseline(kCommands, &local))
        return 1;
    QString error;
    RoundTrip::print("UDP over loopback, 19-byte reply (0x42)", RoundTrip::overUdp({0x42, 0x00}, kCommands, &error));
    if (!error.isEmpty()) {
        std::printf("UDP device: %s\n", qPrintable(error));
        return 1;
    }

    UsbDevice device(kVendor, kProduct);
    if (!device.start(&error)) {
        std::printf("USB device: %s\n", qPrintable(error));
        return 1;
    }
    std::unique_ptr<PortBase> port(PortInterface::creatCoreObjInstance(ConnUSB));
    if (!port->openUSB(kVendor, kProduct)) {
        std::printf("USB device: cannot open %s\n", qPrintable(device.endpoint()));
        return 1;
    }
    const RoundTrip::Result usb = RoundTrip::overTransport(port.get(), {0x42, 0x00}, kCommands);
    RoundTrip::print("USB on the simulated HID bus, 19-byte reply (0x42)", usb);
    if (usb.answered > 0) {
        const double rate = usb.answered / usb.seconds;
        std::printf("the 20 ms read and parse passes hold USB to %.1f commands/s, %.0f%% below the 10 ms poll's "
                    "100/s; median latency %.1f ms above the in-process device's\n",
                    rate, 100.0 - rate, usb.medianMs - local.medianMs);
    }

    std::printf("idle CPU over %d s, per cent of one core:\n", kIdleSeconds);
    std::printf("  open PortUSB (read, parser and hot-plug threads)            %6.2f %%\n", idleCpuPercent());
    CmdDealModule dispatcher;
    dispatcher.bSendWorkRun = true;
    dispatcher.bReceiveWorkRun = true;
    std::thread send(&CmdDealModule::GetQueueWork, &dispatcher);
    std::thread receive(&CmdDealModule::ReceiveGetQueueWork, &dispatcher);
    std::printf("  open PortUSB and the dispatcher's send and receive workers  %6.2f %%\n", idleCpuPercent());
    dispatcher.bSendWorkRun = false;
    dispatcher.bReceiveWorkRun = false;
    send.join();
    receive.join();
    port->closeUSB();
    return 0;
}
