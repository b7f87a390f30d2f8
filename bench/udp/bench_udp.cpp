// Commands per second and round-trip latency (release -> accepted reply) over UDP on
// loopback with the simulated device answering at once, and the time a held reply
// with a 30,000-byte block takes to be received and joined, beside the in-process
// and serial figures and the design limit of one release per 10 ms send-worker
// poll; then how the host and its commands fare while other senders flood the
// transport. Prints figures; not a pass/fail test.
#include "cmddealmodule.h"
#include "dispatcherstate.h"
#include "percentile.h"
#include "portudp.h"
#include "floodrows.h"
#include "roundtrip.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCommands = 600;
constexpr int kBlockCommands = 200;
constexpr int kBlockBytes = 30000;
constexpr int kBlockDatagram = 1000;

// The receive side alone: the held reply and its 30 block datagrams handed to the
// transport one after another, until the joined reply is on the queue.
void receiveAndJoin()
{
    std::unique_ptr<PortUDP> port(new PortUDP);
    const QHostAddress sender(QStringLiteral("127.0.0.2"));
    // 0xF1/0x01 announcing 30,000 (0x7530) bytes.
    const QByteArray held = "[R0101f10100307599]";
    const QByteArray piece(kBlockDatagram, '\x5a');

    std::vector<double> us;
    for (int i = 0; i < kBlockCommands; ++i) {
        const auto start = Clock::now();
        port->handleDatagram(held, sender);
        for (int n = 0; n < kBlockBytes / kBlockDatagram; ++n)
            port->handleDatagram(piece, sender);
        while (CmdDealModule::replyQueueSize() == 0)
            std::this_thread::yield();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        resetDispatcherState();
    }
    std::printf("%-58s  %4d joins                 median %6.3f ms  p99 %6.3f ms\n",
                "receive side alone: held reply + 30 x 1,000 bytes, joined", kBlockCommands,
                Percentile::of(us, 0.5) / 1000, Percentile::of(us, 0.99) / 1000);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    RoundTrip::quiet();

    std::printf("bench_udp: one command in flight at a time; latency is release -> accepted reply\n");
    if (!RoundTrip::printBaseline(kCommands))
        return 1;
    QString error;
    RoundTrip::print("UDP over loopback, 19-byte reply (0x42)",
                     RoundTrip::overUdp({0x42, 0x00}, kCommands, &error, {kBlockDatagram}));
    RoundTrip::print("UDP, held reply + 30,000-byte block in 30 datagrams",
                     RoundTrip::overUdp({0xF1, 0x01, kBlockBytes}, kBlockCommands, &error, {kBlockDatagram}));
    if (!error.isEmpty()) {
        std::printf("UDP device: %s\n", qPrintable(error));
        return 1;
    }
    receiveAndJoin();
    FloodRows::print();
    return 0;
}
