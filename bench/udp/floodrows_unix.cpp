#include "floodrows.h"

#include "udpflood.h"

#include <cstdio>

namespace {

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

} // namespace

namespace FloodRows {

// Other senders flood the transport while the host keeps commands in flight to its
// device: one sender for 5 s with each kind in turn, then 500 senders for 60 s.
void print()
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

} // namespace FloodRows
