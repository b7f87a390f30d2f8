#ifndef CONSOLEEVENT_H
#define CONSOLEEVENT_H

#include "hostevent.h"

#include <QByteArray>
#include <QString>

// One row of the traffic: an event of the session. The lengths of the block and of
// the bytes sent are kept beside the bytes, so that letting the bytes go to bound
// memory changes nothing the table shows or the session file counts.
struct ConsoleEvent
{
    enum class Kind { Send, Resend, Reply, Drop, GiveUp, Unaccounted, Medium, Note, SendFailed };
    static constexpr int kKindCount = 9;

    // What label, text and source keep once an event has let its bytes go.
    static constexpr int kShedTextLength = 64;

    Kind kind = Kind::Note;
    // Everything but the kind, which is kind above (host.kind is not kept in step
    // for events read from a file). SendFailed: the command, and text, the medium's
    // reason.
    HostEvent host;
    int blockLength = 0;
    // Send: the bytes as the transport put them on the medium, frame and block.
    int byteCount = 0;
    // False for a reply read from a file that does not carry its head byte.
    bool headKnown = true;

    static ConsoleEvent fromHost(const HostEvent &event);

    // Whether the event is about a command or a reply (it has fields to show).
    bool hasRecord() const;
    // Whether the block's bytes are still here (a block of 0 bytes always is).
    bool blockHeld() const;

    // "send", "reply", "sendfailed": the names hostcli --json and the session file use.
    static QString name(Kind kind);
    static bool kindNamed(const QString &name, Kind *kind);

    // Bytes held beyond the fixed size, and letting go of nearly all of them: the
    // block, the bytes after the frame, how the medium cut them, long texts.
    qint64 heapBytes() const;
    void shed();
};

#endif // CONSOLEEVENT_H
