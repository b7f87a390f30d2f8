#include "eventjson.h"

#include "commandtext.h"
#include "framecodec.h"
#include "hexnumber.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <climits>
#include <cmath>

namespace EventJson {

namespace {

QString key(const char *name)
{
    return QString::fromLatin1(name);
}

// The keys every event about a command or reply carries.
QJsonObject recordObject(const HostEvent &e, const Extent &extent)
{
    const ProtocolData &r = e.record;
    return QJsonObject{
        {key("event"), key(eventKindName(e.kind))},
        {key("timeMs"), e.timeMs},
        {key("sn"), int(r.bySN)},
        {key("cmd"), HexNumber::byteText(r.byCmd)},
        {key("sub"), HexNumber::byteText(r.bySubCmd)},
        {key("p1"), HexNumber::byteText(r.byParam1)},
        {key("p2"), HexNumber::byteText(r.byParam2)},
        {key("p3"), HexNumber::byteText(r.byParam3)},
        {key("block"), extent.blockLength},
        {key("label"), e.label},
        {key("line"), e.line},
    };
}

// The block's bytes, so that a script reading the lines sees what came and went,
// not only how much: at most 65,535 bytes, the most p2/p3 announce. An event that
// let them go, or came from a file without them, keeps only the length.
void insertBlock(const HostEvent &e, const Extent &extent, QJsonObject *o)
{
    if (e.record.baData.size() == extent.blockLength)
        o->insert(key("blockHex"), QString::fromLatin1(e.record.baData.toHex()));
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
    // Exactly two digits, as written: a line is data, not a person's typing.
    if (text.size() != 2 || !HexNumber::parseByte(text, value)) {
        *error = QStringLiteral("\"%1\" is not two hexadecimal digits").arg(key(name));
        return false;
    }
    return true;
}

bool readRecord(const QJsonObject &o, HostEvent *e, Extent *extent, QString *error)
{
    ProtocolData &r = e->record;
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
    extent->blockLength = int(block);
    e->line = int(line);
    e->label = o.value(key("label")).toString();
    extent->headKnown = o.contains(key("head"));
    if (extent->headKnown && !readByte(o, "head", &r.byHead, error))
        return false;
    if (o.contains(key("blockHex"))) {
        const QByteArray digits = o.value(key("blockHex")).toString().toLatin1();
        const QByteArray bytes = QByteArray::fromHex(digits);
        if (bytes.size() != extent->blockLength || bytes.toHex() != digits.toLower()) {
            *error = QStringLiteral("\"blockHex\" is not the %1 bytes of the block").arg(extent->blockLength);
            return false;
        }
        r.baData = bytes;
    }
    return true;
}

// A wire line: its direction, and bytes whose hex digits are exactly those bytes
// (a file is outside input), at most what one read or datagram can carry.
bool readWire(const QJsonObject &o, HostEvent *e, QString *error)
{
    const QString dir = o.value(key("dir")).toString();
    if (dir != QLatin1String("in") && dir != QLatin1String("out")) {
        *error = QStringLiteral("\"dir\" is neither \"in\" nor \"out\"");
        return false;
    }
    const QByteArray digits = o.value(key("hex")).toString().toLatin1();
    const QByteArray bytes = QByteArray::fromHex(digits);
    if (digits.size() > 2 * HostEvent::kMaxWireBytes || bytes.toHex() != digits.toLower()) {
        *error = QStringLiteral("\"hex\" is not the bytes of one read or write");
        return false;
    }
    e->received = dir == QLatin1String("in");
    e->bytes = bytes;
    e->text = o.value(key("peer")).toString();
    return true;
}

bool readSend(const QJsonObject &o, HostEvent *e, Extent *extent, QString *error)
{
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
        e->pieces.append(piece.toInt());
    }
    // The bytes as they went out are the frame and the block, when the line has both.
    e->bytes = frame.toLatin1() + e->record.baData;
    extent->byteCount = int(bytes);
    e->unit = o.value(key("unit")).toString();
    e->resend = o.value(key("resend")).toBool();
    e->record.bySendMode = o.value(key("broadcast")).toBool() ? 1 : 0;
    return true;
}

} // namespace

Extent Extent::of(const HostEvent &event)
{
    Extent extent;
    extent.blockLength = event.record.baData.size();
    extent.byteCount = event.bytes.size();
    return extent;
}

QJsonObject toJson(const HostEvent &e)
{
    return toJson(e, Extent::of(e));
}

QJsonObject toJson(const HostEvent &e, const Extent &extent)
{
    QJsonObject o;
    switch (e.kind) {
    case HostEvent::Kind::Send: {
        o = recordObject(e, extent);
        QJsonArray pieces;
        for (int size : e.pieces)
            pieces.append(size);
        o.insert(key("frame"), QString::fromLatin1(e.bytes.left(FrameCodec::kTextFrameSize)));
        o.insert(key("bytes"), extent.byteCount);
        o.insert(key("pieces"), pieces);
        o.insert(key("unit"), e.unit);
        o.insert(key("resend"), e.resend);
        // Only when it went to every device: a unicast line stays as it was.
        if (e.record.bySendMode == 1)
            o.insert(key("broadcast"), true);
        insertBlock(e, extent, &o);
        break;
    }
    case HostEvent::Kind::Resend:
    case HostEvent::Kind::Unaccounted:
        o = recordObject(e, extent);
        // Only when the run stopped first: a line of the queue moving on stays as it was.
        if (e.kind == HostEvent::Kind::Unaccounted && !e.text.isEmpty())
            o.insert(key("why"), e.text);
        break;
    case HostEvent::Kind::Reply:
    case HostEvent::Kind::Drop:
        o = recordObject(e, extent);
        o.insert(key("source"), e.record.strSource);
        o.insert(key("matched"), e.matched);
        // Only on a further device's answer to a broadcast, as on the broadcast's send line.
        if (e.answersBroadcast)
            o.insert(key("broadcast"), true);
        o.insert(key("roundTripMs"), e.roundTripMs >= 0 ? QJsonValue(e.roundTripMs) : QJsonValue());
        if (extent.headKnown)
            o.insert(key("head"), HexNumber::byteText(e.record.byHead));
        insertBlock(e, extent, &o);
        break;
    case HostEvent::Kind::GiveUp:
        o = recordObject(e, extent);
        o.insert(key("sends"), e.sends);
        break;
    case HostEvent::Kind::Medium:
        o = QJsonObject{{key("event"), key(eventKindName(e.kind))},
                        {key("timeMs"), e.timeMs},
                        {key("present"), e.present},
                        {key("text"), e.text}};
        break;
    case HostEvent::Kind::SendFailed:
        o = recordObject(e, extent);
        o.insert(key("reason"), e.text);
        break;
    case HostEvent::Kind::Note:
        o = QJsonObject{{key("event"), key(eventKindName(e.kind))}, {key("timeMs"), e.timeMs}, {key("text"), e.text}};
        break;
    case HostEvent::Kind::Wire:
        o = QJsonObject{{key("event"), key(eventKindName(e.kind))},
                        {key("timeMs"), e.timeMs},
                        {key("dir"), e.received ? key("in") : key("out")},
                        {key("peer"), e.text},
                        {key("hex"), QString::fromLatin1(e.bytes.toHex())}};
        break;
    }
    // Only when known: a line read from an older file is written as it was.
    if (e.wallMs > 0)
        o.insert(key("wallMs"), e.wallMs);
    return o;
}

Read fromJson(const QJsonObject &o, HostEvent *event, Extent *extent, QString *error)
{
    HostEvent e;
    Extent x;
    const QString name = o.value(key("event")).toString();
    if (name.isEmpty()) {
        *error = QStringLiteral("no \"event\"");
        return Read::Bad;
    }
    if (!eventKindNamed(name, &e.kind))
        return Read::Unknown;
    qint64 timeMs = 0;
    // Any run a person keeps fits 2^53 ms, where doubles stop being exact.
    if (!readInt(o, "timeMs", 0, qint64(1) << 53, &timeMs, error))
        return Read::Bad;
    e.timeMs = timeMs;
    qint64 wallMs = 0;
    if (o.contains(key("wallMs")) && !readInt(o, "wallMs", 0, qint64(1) << 53, &wallMs, error))
        return Read::Bad;
    e.wallMs = wallMs;
    if (e.hasRecord() && !readRecord(o, &e, &x, error))
        return Read::Bad;

    qint64 sends = 0;
    switch (e.kind) {
    case HostEvent::Kind::Send:
        if (!readSend(o, &e, &x, error))
            return Read::Bad;
        break;
    case HostEvent::Kind::Reply:
    case HostEvent::Kind::Drop: {
        e.record.strSource = o.value(key("source")).toString();
        e.matched = o.value(key("matched")).toBool(true);
        e.answersBroadcast = o.value(key("broadcast")).toBool();
        const QJsonValue roundTrip = o.value(key("roundTripMs"));
        e.roundTripMs = roundTrip.isDouble() && roundTrip.toDouble() >= 0 ? roundTrip.toDouble() : -1;
        break;
    }
    case HostEvent::Kind::GiveUp:
        if (o.contains(key("sends")) && !readInt(o, "sends", 0, INT_MAX, &sends, error))
            return Read::Bad;
        e.sends = int(sends);
        break;
    case HostEvent::Kind::Medium:
        e.present = o.value(key("present")).toBool();
        e.text = o.value(key("text")).toString();
        break;
    case HostEvent::Kind::SendFailed:
        e.text = o.value(key("reason")).toString();
        break;
    case HostEvent::Kind::Note:
        e.text = o.value(key("text")).toString();
        break;
    case HostEvent::Kind::Wire:
        if (!readWire(o, &e, error))
            return Read::Bad;
        break;
    case HostEvent::Kind::Unaccounted:
        e.text = o.value(key("why")).toString();
        break;
    case HostEvent::Kind::Resend:
        break;
    }
    *event = e;
    *extent = x;
    return Read::Event;
}

QJsonObject openObject(const QString &medium, const QString &description, qint64 wallMs)
{
    QJsonObject o{{key("event"), key("open")}, {key("medium"), medium}, {key("description"), description}};
    if (wallMs > 0)
        o.insert(key("time"), openTimeText(wallMs));
    return o;
}

QString openTimeText(qint64 wallMs)
{
    // Local time with its offset from UTC, so that the line says both when and where.
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(wallMs);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

qint64 openTime(const QJsonObject &open)
{
    const QDateTime time = QDateTime::fromString(open.value(key("time")).toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

QJsonObject summaryObject(const QString &medium, const RunSummary &s, int exitCode)
{
    auto ms = [&s](double share) {
        return s.roundTrips.count() > 0 ? QJsonValue(s.roundTrips.percentile(share) / 1000.0) : QJsonValue();
    };
    return QJsonObject{
        {key("event"), key("summary")},
        {key("medium"), medium},
        {key("commands"), s.commands},
        {key("sent"), s.sent},
        {key("answered"), s.answered},
        {key("dropped"), s.dropped},
        {key("resent"), s.resent},
        {key("givenUp"), s.givenUp},
        {key("unaccounted"), s.unaccounted},
        {key("notAsPlanned"), s.notAsPlanned},
        {key("sendFailures"), s.sendFailures},
        {key("unmatchedReplies"), s.unmatchedReplies},
        {key("broadcastAnswers"), s.broadcastAnswers},
        {key("roundTripMedianMs"), ms(0.5)},
        {key("roundTripP99Ms"), ms(0.99)},
        {key("stoppedEarly"), s.stoppedEarly},
        {key("exitCode"), exitCode},
    };
}

QJsonObject devicesObject(const QStringList &addresses)
{
    return QJsonObject{{key("event"), key("devices")}, {key("addresses"), QJsonArray::fromStringList(addresses)}};
}

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace EventJson
