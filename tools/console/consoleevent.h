#ifndef CONSOLEEVENT_H
#define CONSOLEEVENT_H

#include "eventjson.h"
#include "hostevent.h"

#include <QByteArray>
#include <QString>

// One row of the traffic: an event of the session. The lengths of the block and of
// the bytes sent are kept beside the bytes, so that letting the bytes go to bound
// memory changes nothing the table shows or the session file counts.
struct ConsoleEvent
{
    // What label, text and source keep once an event has let its bytes go.
    static constexpr int kShedTextLength = 64;

    // The event as the session reported it or a saved session's line gave it, and
    // the lengths of what it held.
    HostEvent host;
    EventJson::Extent extent;

    static ConsoleEvent fromHost(const HostEvent &event);

    HostEvent::Kind kind() const { return host.kind; }
    // Whether the block's bytes are still here (a block of 0 bytes always is).
    bool blockHeld() const;

    // Bytes held beyond the fixed size, and letting go of nearly all of them: the
    // block, the bytes after the frame, how the medium cut them, long texts.
    qint64 heapBytes() const;
    void shed();
};

#endif // CONSOLEEVENT_H
