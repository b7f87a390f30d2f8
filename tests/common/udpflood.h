#ifndef UDPFLOOD_H
#define UDPFLOOD_H

#include <QByteArray>
#include <QList>
#include <QString>

// Other senders on the network flood a UDP transport, as anyone on a LAN can, while
// the host keeps one command after another in flight to its device: whether the
// device's own replies still answer them, how the host thread fares meanwhile and
// how soon it is itself again. The transport lives on the calling thread with a
// host wired to it and a simulated device on 127.0.0.2; the flood comes from
// 127.0.0.3 onwards, one sender or many, as fast as loopback takes it. The
// benchmark prints these figures and the end-to-end test holds them to bounds.
namespace UdpFlood {

enum class Kind {
    GeneralReplies, // valid replies queued from a thread of their own
    QueuedAtOnce,   // valid replies queued on the receiving thread (0x79/0x0C)
    Garbage,        // 5-byte datagrams that are no reply
    Largest,        // 65,507-byte datagrams, the largest UDP carries
};

struct Figures
{
    // The host thread's 10 ms timer while the flood lasted, and how often it was due.
    int timerFirings = 0;
    int timerDue = 0;
    qint64 datagramsSent = 0;
    // The flood's datagrams the transport read and refused itself, and those the
    // system dropped before they reached it (sieved out, or for want of room).
    quint64 refusedByTransport = 0;
    quint64 droppedBySystem = 0;
    qint64 rssBeforeKb = 0;
    // The most resident memory seen during the flood and the recovery.
    qint64 rssPeakKb = 0;
    int peakQueuedReplies = 0;
    // From the end of the flood until the reply queue was empty and a command sent
    // then had been answered; -1 when that did not happen within the limit.
    qint64 recoveryMs = -1;
    // Replies still queued when the recovery ended or gave up.
    int queuedAtEnd = 0;
    // The commands the host sent during the flood, and how each ended: answered by
    // the device's own reply (its serial number, from the device), given up, or let
    // go by anything else (a stranger's datagram taken for an answer).
    int commands = 0;
    int answeredByDevice = 0;
    int givenUp = 0;
    int releasedByOthers = 0;
};

QString nameOf(Kind kind);
QByteArray datagramOf(Kind kind);

// Floods with the datagrams of the kinds in turn for floodMs from senders
// addresses (127.0.0.3 onwards), the host sending commands all the while, then
// waits up to recoveryLimitMs for the host to recover. Runs this thread's event
// loop; leaves the dispatcher's state as a freshly loaded library has it. False,
// with the reason, when the device or the senders cannot be set up.
bool run(const QList<Kind> &kinds, int floodMs, int recoveryLimitMs, Figures *figures, QString *error,
         int senders = 1);

} // namespace UdpFlood

#endif // UDPFLOOD_H
