#ifndef WIREFRAMES_H
#define WIREFRAMES_H

#include "trafficbuffer.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A reply's frame as it came, found among the bytes on the wire ("wire" rows) the
// session kept beside the decoded rows: what the Event pane shows in place of a
// header rebuilt from the decoded fields. Only the rows near the event are looked
// at, so a look costs the same in a table of any length.
namespace WireFrames {

// Rows looked at before and after the event: the bytes a reply was cut from come
// before it, or, read on another thread (USB), just after.
constexpr int kRowsBefore = 256;
constexpr int kRowsAfter = 16;
// Bytes looked at, at most.
constexpr int kMaxBytes = 1 << 18;

// A reply frame as text: "[R", 16 hex digits, "]".
struct TextFrame
{
    QByteArray text;
    // The eight bytes its digits stand for; the last is the checksum it carries.
    unsigned char bytes[8] = {};
    // The checksum the first seven add up to.
    unsigned char expectedChecksum = 0;

    bool checksumHolds() const { return bytes[7] == expectedChecksum; }
};

// Every reply frame in bytes, in order; digits of either case.
QList<TextFrame> replyFrames(const QByteArray &bytes);

struct Found
{
    enum class Result {
        Found,     // text holds the frame as it came from source
        NoWire,    // no bytes received from its source near it: the wire was not shown
        NotFound,  // bytes came, but not this frame among them
        NotAReply, // the event is no reply (nor dropped reply)
    };
    Result result = Result::NotAReply;
    QByteArray text;
    QString source;
};

// The frame of the reply or dropped reply at index, among the received wire rows
// of its source near it.
Found frameOf(const TrafficBuffer &events, int index);

// For a command that ended without its reply (unaccounted, given up): the reply
// frames with its serial number and a wrong checksum received after its send, which
// the transport refused.
QList<TextFrame> refusedFramesFor(const TrafficBuffer &events, int index);

// What the Event pane says of the event at index from the bytes on the wire: where
// its frame came (a reply), the frames refused for it (a command without a reply),
// the frames in it whose checksum is wrong (a wire row); empty when nothing.
QString paneText(const TrafficBuffer &events, int index);

// What the Event pane says of them: "frame  [R...] as it came from X", or why not.
QString foundText(const Found &found);
// "reply frame [R...]: checksum 78, the bytes before it add up to 77".
QString badChecksumText(const TextFrame &frame);

} // namespace WireFrames

#endif // WIREFRAMES_H
