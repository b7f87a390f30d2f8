// Commands per second and round-trip latency (release -> accepted reply) over a
// pseudo-terminal with the simulated device answering at once, beside the same
// figures for an in-process device and the design limit of one release per
// 10 ms send-worker poll. Prints figures; not a pass/fail test.
#include "roundtrip.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
constexpr int kCommands = 600;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    RoundTrip::quiet();

    std::printf("bench_serial: %d commands per run, one in flight at a time; "
                "latency is release -> accepted reply\n", kCommands);
    RoundTrip::printLimit();
    RoundTrip::print("in-process device (reply queued at release)", RoundTrip::inProcess(kCommands));

    QString error;
    const RoundTrip::Result plain = RoundTrip::overPty({0x42, 0x00}, kCommands, &error);
    if (!error.isEmpty()) {
        std::printf("pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    RoundTrip::print("pseudo-terminal, 19-byte reply (0x42)", plain);
    const RoundTrip::Result block = RoundTrip::overPty({0xE1, 0x00}, kCommands, &error);
    if (!error.isEmpty()) {
        std::printf("pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    RoundTrip::print("pseudo-terminal, reply + 22-byte block (0xE1)", block);
    return 0;
}
