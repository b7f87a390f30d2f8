#ifndef ANSWERFILTER_H
#define ANSWERFILTER_H

#include "porvane_global.h"
#include "protocoldata.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <chrono>

// Who may answer a UDP transport. The socket takes datagrams from anyone on the
// network, and every reply lets the dispatcher release its next command: a host
// that took them from anyone could be steered, or starved of its own replies, by
// any other host on the LAN. So a datagram is let in only
// - from the device, the address unicast goes to;
// - from the sender of the held reply, whose block it may be;
// - while a broadcast's answers are awaited, when it is a reply that answers that
//   broadcast: its serial number, command and sub-command.
// Everything else is refused before it is decoded, and counted. Used on the
// transport's own thread only.
class PORVANE_EXPORT AnswerFilter
{
public:
    using Clock = std::chrono::steady_clock;

    // Where unicast goes, as the host set it; an address that names no device
    // admits nobody.
    void setDevice(const QString &ip);
    // A broadcast left: its answers are let in from anyone until its wait and the
    // one resend's wait are over (twice its iTimeoutMs).
    void broadcastLeft(const ProtocolData &command, Clock::time_point now);

    // Whether the datagram from sender is let in; heldSender: the sender of the
    // held reply, or empty.
    bool admits(const QHostAddress &sender, const QString &heldSender, const QByteArray &datagram,
                Clock::time_point now);

    // Datagrams refused since the transport was made.
    quint64 refused() const { return m_refused; }

private:
    bool answersBroadcast(const QByteArray &datagram) const;

    QString m_deviceText;
    QHostAddress m_device;
    bool m_awaitingAnswers = false;
    Clock::time_point m_answersUntil;
    unsigned char m_broadcastSn = 0;
    unsigned char m_broadcastCmd = 0;
    unsigned char m_broadcastSubCmd = 0;
    quint64 m_refused = 0;
};

#endif // ANSWERFILTER_H
