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
#include "roundtrip.h"
#include "udpflood.h"

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

constexpr int kFloodMs = 5000;
constexpr int kLongFloodMs = 60000;
constexpr int kManySenders = 500;
constexpr int kRecoveryLimitMs = 30000;

void floodRow(const QString &name, const QList<UdpFlood::Kind> &kinds, int floodMs, int senders)
{
    UdpFlood::Figures f;
    QString error;
    if (!UdpFlood::run(kinds, floodMs, kRecoveryLimitMs, &f, &error, senders)) {
        std::printf("flood: %s\n", qPrintable(error));
        return;
    }
    const double own = f.commands > 0 ? 100.0 * f.answeredByDevice / f.commands : 0;
    std::printf("  %-40s %3d s %3d senders %9lld sent | commands %5d own replies %6.2f %% given up %4d by others %3d"
                " | timer %5.1f %% RSS +%5.1f MB peak queue %4d | ",
                qPrintable(name), floodMs / 1000, senders, f.datagramsSent, f.commands, own, f.givenUp,
                f.releasedByOthers, f.timerDue > 0 ? 100.0 * f.timerFirings / f.timerDue : 0,
                (f.rssPeakKb - f.rssBeforeKb) / 1024.0, f.peakQueuedReplies);
    if (f.recoveryMs >= 0)
        std::printf("next answer %5.2f s after\n", f.recoveryMs / 1000.0);
    else
        std::printf("no answer %d s after\n", kRecoveryLimitMs / 1000);
}

// Other senders flood the transport while the host keeps commands in flight to its
// device: one sender for 5 s with each kind in turn, then 500 senders for 60 s.
void flood()
{
    std::printf("\nfloods on loopback while the host keeps a command in flight (1 s time-out): commands answered by "
                "the device's own reply, given up, let go by another sender's datagram; the host thread's 10 ms "
                "timer; resident memory; the first answer after the flood:\n");
    using K = UdpFlood::Kind;
    for (K kind : {K::GeneralReplies, K::QueuedAtOnce, K::Garbage, K::Largest})
        floodRow(UdpFlood::nameOf(kind), {kind}, kFloodMs, 1);
    for (K kind : {K::GeneralReplies, K::Garbage, K::Largest})
        floodRow(UdpFlood::nameOf(kind), {kind}, kLongFloodMs, kManySenders);
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
    flood();
    return 0;
}
