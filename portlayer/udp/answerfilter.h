#ifndef ANSWERFILTER_H
#define ANSWERFILTER_H

#include "porvane_internal.h"
#include "protocoldata.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>

// Who may answer a UDP transport. The socket takes datagrams from anyone on the
// network, and every reply lets the dispatcher release its next command: a host
// that took them from anyone could be steered, or starved of its own replies, by
// any other host on the LAN. So a datagram is let in only
// - from the device, the address unicast goes to;
// - from the sender of the held reply, whose block it may be;
// - while a broadcast's answers are awaited, when it is a reply that answers that
//   broadcast: its serial number, command and sub-command.
// Everything else is refused before it is decoded, and counted. The receiving
// thread asks; the broadcast's departure is noted on the thread that sends it.
class PORVANE_INTERNAL AnswerFilter
{
public:
    using Clock = std::chrono::steady_clock;

    // Where unicast goes, as the host set it; an address that names no device
    // admits nobody.
    void setDevice(const QString &ip);
    // A broadcast left: its answers are let in from anyone until its wait and the
    // one resend's wait are over (twice its iTimeoutMs).
    void broadcastLeft(const ProtocolData &command, Clock::time_point now);

    // Whether a broadcast's answers may still come, from anyone.
    bool awaitingAnswers(Clock::time_point now) const;

    // Whether the datagram from sender is let in; heldSender: the sender of the
    // held reply, or empty.
    bool admits(const QHostAddress &sender, const QString &heldSender, const QByteArray &datagram,
                Clock::time_point now);

    // Datagrams refused since the transport was made.
    quint64 refused() const { return m_refused.load(); }

private:
    bool answersBroadcast(const QByteArray &datagram, Clock::time_point now) const;

    QString m_deviceText;
    QHostAddress m_device;
    // The broadcast awaited, set by the sending thread, read by the receiving one.
    mutable std::mutex m_broadcastLock;
    bool m_awaitingAnswers = false;
    Clock::time_point m_answersUntil;
    unsigned char m_broadcastSn = 0;
    unsigned char m_broadcastCmd = 0;
    unsigned char m_broadcastSubCmd = 0;
    // Read by whoever asks, from any thread.
    std::atomic<quint64> m_refused{0};
};

#endif // ANSWERFILTER_H
