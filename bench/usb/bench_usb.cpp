// Commands per second and round-trip latency (release -> accepted reply) through
// the simulated HID bus with the simulated device answering at once, beside the
// in-process, serial and UDP figures and the design limit of one release per
// 10 ms send-worker poll. Prints figures; not a pass/fail test. (What an idle
// open PortUSB costs is among bench_dispatcher's idle rows.)
#include "conntype.h"
#include "portbase.h"
#include "portinterface.h"
#include "roundtrip.h"
#include "usbdevice.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

constexpr int kCommands = 600;
constexpr quint16 kVendor = 0x4c56;
constexpr quint16 kProduct = 0x0105;

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
    const RoundTrip::Result udp = RoundTrip::overUdp({0x42, 0x00}, kCommands, &error);
    RoundTrip::print("UDP over loopback, 19-byte reply (0x42)", udp);
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
    if (usb.answered > 0 && local.answered > 0 && udp.answered > 0) {
        std::printf("USB: %.2f of the in-process device's commands/s; median latency %+.2f ms from UDP's\n",
                    (usb.answered / usb.seconds) / (local.answered / local.seconds), usb.medianMs - udp.medianMs);
    }
    port->closeUSB();
    return 0;
}
