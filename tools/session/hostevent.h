#ifndef HOSTEVENT_H
#define HOSTEVENT_H

#include "latencystats.h"
#include "plannedcommand.h"

#include <QList>
#include <QMetaType>
#include <QString>

// One thing that happened during a run, as the reports show it.
struct HostEvent
{
    enum class Kind {
        Send,       // a command left, for the first time or again (resend true)
        Resend,     // the watchdog is about to send the command in flight again
        Reply,      // a reply passed the reply rules
        Drop,       // a reply was dropped by the reply rules
        GiveUp,     // the command in flight was given up
        Unaccounted, // the queue moved on without a reply of the command's serial number,
                     // or the run stopped first (text says why)
        Medium,     // the medium went away (present false) or came back
        Note,       // anything else worth a line: text
        SendFailed, // the transport could not put a command on the medium: text says why
        Wire,       // bytes on the medium as they were, before any decoding: received or
                    // sent, bytes, and text the peer (port name, address, "USB")
    };

    // The most bytes one Wire event carries; a longer read is reported in pieces.
    static constexpr int kMaxWireBytes = 65536;

    Kind kind = Kind::Note;
    // Since the run started.
    qint64 timeMs = 0;
    // The wall-clock instant, in ms since 1970-01-01 UTC; 0 when unknown (a line of
    // an older hostcli).
    qint64 wallMs = 0;
    // The command (Send, Resend, GiveUp, Unaccounted, SendFailed) or the reply (Reply, Drop).
    ProtocolData record;
    // Of the command the event belongs to; empty and 0 for a reply that matches no
    // command of the run.
    QString label;
    int line = 0;
    bool matched = true;
    // Send: the bytes as the transport puts them on the medium, and how it cuts
    // them (one write, datagrams, reports).
    QByteArray bytes;
    QList<int> pieces;
    QString unit; // "write", "datagram" or "report"
    bool resend = false;
    // GiveUp: how often the command was sent.
    int sends = 0;
    // Reply: from the command's last send; -1 when unknown.
    double roundTripMs = -1;
    // Medium: whether the device is there again; with text, what the host did.
    // SendFailed: text is the medium's reason.
    bool present = false;
    QString text;
    // Wire: whether the bytes arrived (true) or left.
    bool received = false;
    // Reply, Drop: one more device answering a broadcast that is still awaited
    // (same serial number, command and sub-command); label, line and round trip are
    // the broadcast's, matched stays false (the broadcast ended with its first answer).
    bool answersBroadcast = false;

    // Whether the event is about a command or a reply (it has a record to show).
    bool hasRecord() const;
};

Q_DECLARE_METATYPE(HostEvent)

// "send", "reply", "sendfailed": the names of hostcli's JSON lines and the saved
// sessions. A switch without a default, so that a kind added to the enum fails to
// build until it has a name; nullptr past the last kind.
constexpr const char *eventKindName(HostEvent::Kind kind)
{
    switch (kind) {
    case HostEvent::Kind::Send:
        return "send";
    case HostEvent::Kind::Resend:
        return "resend";
    case HostEvent::Kind::Reply:
        return "reply";
    case HostEvent::Kind::Drop:
        return "drop";
    case HostEvent::Kind::GiveUp:
        return "giveup";
    case HostEvent::Kind::Unaccounted:
        return "unaccounted";
    case HostEvent::Kind::Medium:
        return "medium";
    case HostEvent::Kind::Note:
        return "note";
    case HostEvent::Kind::SendFailed:
        return "sendfailed";
    case HostEvent::Kind::Wire:
        return "wire";
    }
    return nullptr;
}

// How many kinds there are, counted by the names above rather than by hand (the
// enum gives its kinds no values of their own: they run from 0 without a gap).
constexpr int countEventKinds()
{
    int n = 0;
    while (eventKindName(HostEvent::Kind(n)))
        ++n;
    return n;
}
constexpr int kEventKindCount = countEventKinds();

bool eventKindNamed(const QString &name, HostEvent::Kind *kind);

// What a run adds up to.
struct RunSummary
{
    // Commands taken from the source, and how they ended.
    qint64 commands = 0;
    qint64 sent = 0;
    qint64 answered = 0;
    qint64 dropped = 0;
    qint64 resent = 0;
    qint64 givenUp = 0;
    qint64 unaccounted = 0;
    qint64 notAsPlanned = 0;
    // Sends (first or again) that the transport could not put on the medium.
    qint64 sendFailures = 0;
    // Replies (accepted or dropped) that match no command of the run: late, or of
    // a serial number no command has.
    qint64 unmatchedReplies = 0;
    // Replies (accepted or dropped) of further devices to a broadcast, beyond the
    // first answer that ended it; not counted as unmatched.
    qint64 broadcastAnswers = 0;
    // Why the run stopped before its last command ended; empty when it did not.
    QString stoppedEarly;
    LatencyStats roundTrips;

    void merge(const RunSummary &other);
};

#endif // HOSTEVENT_H
