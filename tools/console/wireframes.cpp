#include "wireframes.h"

#include "framecodec.h"
#include "hexnumber.h"

#include <QStringList>

#include <algorithm>

namespace WireFrames {

namespace {

bool readFrameAt(const QByteArray &bytes, int at, TextFrame *frame)
{
    if (at + FrameCodec::kTextFrameSize > bytes.size() || bytes.at(at) != '[' || bytes.at(at + 1) != 'R'
        || bytes.at(at + FrameCodec::kTextFrameSize - 1) != ']')
        return false;
    for (int i = 0; i < FrameCodec::kStandardFrameSize; ++i) {
        const int high = HexNumber::digitValue(bytes.at(at + 2 + 2 * i));
        const int low = HexNumber::digitValue(bytes.at(at + 3 + 2 * i));
        if (high < 0 || low < 0)
            return false;
        frame->bytes[i] = static_cast<unsigned char>(high << 4 | low);
    }
    frame->text = bytes.mid(at, FrameCodec::kTextFrameSize);
    frame->expectedChecksum = FrameCodec::headerChecksum(frame->bytes);
    return true;
}

bool isReply(const ConsoleEvent &e)
{
    return e.kind() == HostEvent::Kind::Reply || e.kind() == HostEvent::Kind::Drop;
}

bool receivedFrom(const ConsoleEvent &e, const QString &source)
{
    return e.kind() == HostEvent::Kind::Wire && e.host.received && e.host.text == source;
}

// The received bytes of the wire rows in [first, last] that pass, in order, and the
// row each byte came in.
struct Gathered
{
    QByteArray bytes;
    QList<int> startRows;    // row of each piece
    QList<int> startOffsets; // where each piece starts in bytes

    int rowAt(int offset) const
    {
        const auto it = std::upper_bound(startOffsets.begin(), startOffsets.end(), offset);
        return startRows.at(int(it - startOffsets.begin()) - 1);
    }
};

template <typename Take>
Gathered gather(const TrafficBuffer &events, int first, int last, Take take)
{
    // Newest first, so that the bytes nearest the event are the ones kept.
    QList<int> rows;
    qint64 total = 0;
    for (int row = last; row >= first && total < kMaxBytes; --row) {
        if (take(events.at(row))) {
            rows.prepend(row);
            total += events.at(row).host.bytes.size();
        }
    }
    Gathered g;
    for (int row : rows) {
        g.startRows << row;
        g.startOffsets << g.bytes.size();
        g.bytes += events.at(row).host.bytes;
    }
    return g;
}

} // namespace

QList<TextFrame> replyFrames(const QByteArray &bytes)
{
    QList<TextFrame> frames;
    for (int at = bytes.indexOf("[R"); at >= 0; at = bytes.indexOf("[R", at + 1)) {
        TextFrame frame;
        if (readFrameAt(bytes, at, &frame))
            frames << frame;
    }
    return frames;
}

Found frameOf(const TrafficBuffer &events, int index)
{
    Found found;
    if (index < 0 || index >= events.size() || !isReply(events.at(index)))
        return found;
    const ConsoleEvent &reply = events.at(index);
    const ProtocolData &r = reply.host.record;
    found.source = r.strSource;
    const unsigned char header[7] = {r.byHead, r.bySN, r.byCmd, r.bySubCmd, r.byParam1, r.byParam2, r.byParam3};
    const unsigned char checksum = FrameCodec::headerChecksum(header);

    const Gathered g = gather(events, std::max(0, index - kRowsBefore),
                              std::min(events.size() - 1, index + kRowsAfter),
                              [&found](const ConsoleEvent &e) { return receivedFrom(e, found.source); });
    if (g.bytes.isEmpty()) {
        found.result = Found::Result::NoWire;
        return found;
    }
    // The last such frame before the event, or else the first after it.
    int before = -1;
    int after = -1;
    for (int at = g.bytes.indexOf("[R"); at >= 0; at = g.bytes.indexOf("[R", at + 1)) {
        TextFrame frame;
        if (!readFrameAt(g.bytes, at, &frame) || frame.bytes[7] != checksum
            || !std::equal(header, header + 7, frame.bytes))
            continue;
        if (g.rowAt(at) < index)
            before = at;
        else if (after < 0)
            after = at;
    }
    const int at = before >= 0 ? before : after;
    if (at < 0) {
        found.result = Found::Result::NotFound;
        return found;
    }
    found.result = Found::Result::Found;
    found.text = g.bytes.mid(at, FrameCodec::kTextFrameSize);
    return found;
}

QList<TextFrame> refusedFramesFor(const TrafficBuffer &events, int index)
{
    QList<TextFrame> refused;
    if (index < 0 || index >= events.size())
        return refused;
    const ConsoleEvent &ended = events.at(index);
    if (ended.kind() != HostEvent::Kind::Unaccounted && ended.kind() != HostEvent::Kind::GiveUp)
        return refused;
    const unsigned char sn = ended.host.record.bySN;
    // Back to the command's first send, within the rows looked at.
    int first = std::max(0, index - kRowsBefore);
    for (int row = index - 1; row >= first; --row) {
        const ConsoleEvent &e = events.at(row);
        if (e.kind() == HostEvent::Kind::Send && !e.host.resend && e.host.record.bySN == sn) {
            first = row;
            break;
        }
    }
    const Gathered g = gather(events, first, index - 1, [](const ConsoleEvent &e) {
        return e.kind() == HostEvent::Kind::Wire && e.host.received;
    });
    for (const TextFrame &frame : replyFrames(g.bytes)) {
        if (frame.bytes[1] == sn && !frame.checksumHolds())
            refused << frame;
    }
    return refused;
}

QString paneText(const TrafficBuffer &events, int index)
{
    if (index < 0 || index >= events.size())
        return QString();
    const ConsoleEvent &e = events.at(index);
    if (isReply(e))
        return foundText(frameOf(events, index));
    QStringList lines;
    if (e.kind() == HostEvent::Kind::Wire && e.host.received) {
        for (const TextFrame &frame : replyFrames(e.host.bytes)) {
            if (!frame.checksumHolds())
                lines << badChecksumText(frame) + QStringLiteral(": refused");
        }
    } else {
        const QList<TextFrame> refused = refusedFramesFor(events, index);
        for (const TextFrame &frame : refused)
            lines << QStringLiteral("refused for it: %1").arg(badChecksumText(frame));
    }
    return lines.join(QLatin1Char('\n'));
}

QString foundText(const Found &found)
{
    switch (found.result) {
    case Found::Result::Found:
        return QStringLiteral("frame  %1 as it came from %2").arg(QString::fromLatin1(found.text), found.source);
    case Found::Result::NoWire:
        return QStringLiteral("frame  not kept: the bytes on the wire were not shown (View menu); the header is "
                              "rebuilt from the fields");
    case Found::Result::NotFound:
        return QStringLiteral("frame  not found in the bytes received from %1 near it; the header is rebuilt "
                              "from the fields")
            .arg(found.source);
    case Found::Result::NotAReply:
        break;
    }
    return QString();
}

QString badChecksumText(const TextFrame &frame)
{
    return QStringLiteral("reply frame %1: checksum %2, the bytes before it add up to %3")
        .arg(QString::fromLatin1(frame.text), HexNumber::byteText(frame.bytes[7]),
             HexNumber::byteText(frame.expectedChecksum));
}

} // namespace WireFrames
