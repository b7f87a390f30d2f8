#include "eventjson.h"

#include "commandtext.h"
#include "framecodec.h"

#include <QJsonArray>

#include <climits>
#include <cmath>

namespace EventJson {

namespace {

QString hex(unsigned char b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
}

QString key(const char *name)
{
    return QString::fromLatin1(name);
}

// The keys every event about a command or reply carries.
QJsonObject recordObject(const ConsoleEvent &e)
{
    const HostEvent &h = e.host;
    const ProtocolData &r = h.record;
    return QJsonObject{
        {key("event"), ConsoleEvent::name(e.kind)},
        {key("timeMs"), h.timeMs},
        {key("sn"), int(r.bySN)},
        {key("cmd"), hex(r.byCmd)},
        {key("sub"), hex(r.bySubCmd)},
        {key("p1"), hex(r.byParam1)},
        {key("p2"), hex(r.byParam2)},
        {key("p3"), hex(r.byParam3)},
        {key("block"), e.blockLength},
        {key("label"), h.label},
        {key("line"), h.line},
    };
}

// The block's bytes where the event still holds them: an event that let them go,
// or came from a file without them, keeps only the length.
void insertBlock(const ConsoleEvent &e, QJsonObject *o)
{
    if (e.blockHeld())
        o->insert(key("blockHex"), QString::fromLatin1(e.host.record.baData.toHex()));
}

bool readInt(const QJsonObject &o, const char *name, qint64 low, qint64 high, qint64 *value, QString *error)
{
    const QJsonValue v = o.value(key(name));
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || !(d >= double(low) && d <= double(high)) || d != std::floor(d)) {
        *error = QStringLiteral("\"%1\" is not a whole number from %2 to %3").arg(key(name)).arg(low).arg(high);
        return false;
    }
    *value = qint64(d);
    return true;
}

bool readByte(const QJsonObject &o, const char *name, unsigned char *value, QString *error)
{
    const QString text = o.value(key(name)).toString();
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    if (text.size() != 2 || !ok) {
        *error = QStringLiteral("\"%1\" is not two hexadecimal digits").arg(key(name));
        return false;
    }
    *value = static_cast<unsigned char>(v);
    return true;
}

bool readRecord(const QJsonObject &o, ConsoleEvent *e, QString *error)
{
    ProtocolData &r = e->host.record;
    qint64 sn = 0;
    qint64 block = 0;
    qint64 line = 0;
    if (!readInt(o, "sn", 0, 255, &sn, error) || !readByte(o, "cmd", &r.byCmd, error)
        || !readByte(o, "sub", &r.bySubCmd, error) || !readByte(o, "p1", &r.byParam1, error)
        || !readByte(o, "p2", &r.byParam2, error) || !readByte(o, "p3", &r.byParam3, error))
        return false;
    if (o.contains(key("block")) && !readInt(o, "block", 0, CommandText::kMaxBlock, &block, error))
        return false;
    if (o.contains(key("line")) && !readInt(o, "line", 0, INT_MAX, &line, error))
        return false;
    r.bySN = static_cast<unsigned char>(sn);
    e->blockLength = int(block);
    e->host.line = int(line);
    e->host.label = o.value(key("label")).toString();
    e->headKnown = o.contains(key("head"));
    if (e->headKnown && !readByte(o, "head", &r.byHead, error))
        return false;
    if (o.contains(key("blockHex"))) {
        const QByteArray digits = o.value(key("blockHex")).toString().toLatin1();
        const QByteArray bytes = QByteArray::fromHex(digits);
        if (bytes.size() != e->blockLength || bytes.toHex() != digits.toLower()) {
            *error = QStringLiteral("\"blockHex\" is not the %1 bytes of the block").arg(e->blockLength);
            return false;
        }
        r.baData = bytes;
    }
    return true;
}

bool readSend(const QJsonObject &o, ConsoleEvent *e, QString *error)
{
    HostEvent &h = e->host;
    const QString frame = o.value(key("frame")).toString();
    if (frame.size() > FrameCodec::kTextFrameSize) {
        *error = QStringLiteral("\"frame\" is longer than a frame");
        return false;
    }
    qint64 bytes = frame.size();
    if (o.contains(key("bytes")) && !readInt(o, "bytes", 0, INT_MAX, &bytes, error))
        return false;
    const QJsonArray pieces = o.value(key("pieces")).toArray();
    for (const QJsonValue &piece : pieces) {
        if (!piece.isDouble()) {
            *error = QStringLiteral("\"pieces\" holds something other than sizes");
            return false;
        }
        h.pieces.append(piece.toInt());
    }
    // The bytes as they went out are the frame and the block, when the line has both.
    h.bytes = frame.toLatin1() + h.record.baData;
    e->byteCount = int(bytes);
    h.unit = o.value(key("unit")).toString();
    h.resend = o.value(key("resend")).toBool();
    h.record.bySendMode = o.value(key("broadcast")).toBool() ? 1 : 0;
    return true;
}

} // namespace

QJsonObject toJson(const ConsoleEvent &e)
{
    const HostEvent &h = e.host;
    QJsonObject o;
    switch (e.kind) {
    case ConsoleEvent::Kind::Send: {
        o = recordObject(e);
        QJsonArray pieces;
        for (int size : h.pieces)
            pieces.append(size);
        o.insert(key("frame"), QString::fromLatin1(h.bytes.left(FrameCodec::kTextFrameSize)));
        o.insert(key("bytes"), e.byteCount);
        o.insert(key("pieces"), pieces);
        o.insert(key("unit"), h.unit);
        o.insert(key("resend"), h.resend);
        // Only when it went to every device: a unicast line stays as it was.
        if (h.record.bySendMode == 1)
            o.insert(key("broadcast"), true);
        insertBlock(e, &o);
        break;
    }
    case ConsoleEvent::Kind::Resend:
    case ConsoleEvent::Kind::Unaccounted:
        o = recordObject(e);
        break;
    case ConsoleEvent::Kind::Reply:
    case ConsoleEvent::Kind::Drop:
        o = recordObject(e);
        o.insert(key("source"), h.record.strSource);
        o.insert(key("matched"), h.matched);
        o.insert(key("roundTripMs"), h.roundTripMs >= 0 ? QJsonValue(h.roundTripMs) : QJsonValue());
        if (e.headKnown)
            o.insert(key("head"), hex(h.record.byHead));
        insertBlock(e, &o);
        break;
    case ConsoleEvent::Kind::GiveUp:
        o = recordObject(e);
        o.insert(key("sends"), h.sends);
        break;
    case ConsoleEvent::Kind::Medium:
        o = QJsonObject{{key("event"), ConsoleEvent::name(e.kind)},
                        {key("timeMs"), h.timeMs},
                        {key("present"), h.present},
                        {key("text"), h.text}};
        break;
    case ConsoleEvent::Kind::SendFailed:
        o = recordObject(e);
        o.insert(key("reason"), h.text);
        break;
    case ConsoleEvent::Kind::Note:
        o = QJsonObject{{key("event"), ConsoleEvent::name(e.kind)}, {key("timeMs"), h.timeMs}, {key("text"), h.text}};
        break;
    }
    return o;
}

Read fromJson(const QJsonObject &o, ConsoleEvent *event, QString *error)
{
    ConsoleEvent e;
    const QString name = o.value(key("event")).toString();
    if (name.isEmpty()) {
        *error = QStringLiteral("no \"event\"");
        return Read::Bad;
    }
    if (!ConsoleEvent::kindNamed(name, &e.kind))
        return Read::Unknown;
    qint64 timeMs = 0;
    // Any run a person keeps fits 2^53 ms, where doubles stop being exact.
    if (!readInt(o, "timeMs", 0, qint64(1) << 53, &timeMs, error))
        return Read::Bad;
    e.host.timeMs = timeMs;
    if (e.hasRecord() && !readRecord(o, &e, error))
        return Read::Bad;

    qint64 sends = 0;
    switch (e.kind) {
    case ConsoleEvent::Kind::Send:
        if (!readSend(o, &e, error))
            return Read::Bad;
        break;
    case ConsoleEvent::Kind::Reply:
    case ConsoleEvent::Kind::Drop: {
        e.host.record.strSource = o.value(key("source")).toString();
        e.host.matched = o.value(key("matched")).toBool(true);
        const QJsonValue roundTrip = o.value(key("roundTripMs"));
        e.host.roundTripMs = roundTrip.isDouble() && roundTrip.toDouble() >= 0 ? roundTrip.toDouble() : -1;
        break;
    }
    case ConsoleEvent::Kind::GiveUp:
        if (o.contains(key("sends")) && !readInt(o, "sends", 0, INT_MAX, &sends, error))
            return Read::Bad;
        e.host.sends = int(sends);
        break;
    case ConsoleEvent::Kind::Medium:
        e.host.present = o.value(key("present")).toBool();
        e.host.text = o.value(key("text")).toString();
        break;
    case ConsoleEvent::Kind::SendFailed:
        e.host.text = o.value(key("reason")).toString();
        break;
    case ConsoleEvent::Kind::Note:
        e.host.text = o.value(key("text")).toString();
        break;
    case ConsoleEvent::Kind::Resend:
    case ConsoleEvent::Kind::Unaccounted:
        break;
    }
    *event = e;
    return Read::Event;
}

} // namespace EventJson
