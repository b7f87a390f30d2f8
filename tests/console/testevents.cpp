#include "testevents.h"

#include "framecodec.h"

namespace TestEvents {

ProtocolData record(unsigned char sn, unsigned char cmd, unsigned char sub, const QByteArray &block)
{
    ProtocolData r;
    r.byHead = 0x01;
    r.bySN = sn;
    r.byCmd = cmd;
    r.bySubCmd = sub;
    r.byParam2 = static_cast<unsigned char>(block.size() & 0xFF);
    r.byParam3 = static_cast<unsigned char>(block.size() >> 8);
    r.baData = block;
    r.iTimeoutMs = 1000;
    return r;
}

HostEvent send(qint64 timeMs, const ProtocolData &command, bool again)
{
    HostEvent e = of(HostEvent::Kind::Send, timeMs, command);
    e.bytes = FrameCodec::produceCmds(command);
    e.pieces = {e.bytes.size()};
    e.unit = QStringLiteral("write");
    e.resend = again;
    return e;
}

HostEvent reply(qint64 timeMs, const ProtocolData &reply, double roundTripMs, bool matched)
{
    HostEvent e = of(HostEvent::Kind::Reply, timeMs, reply);
    e.roundTripMs = roundTripMs;
    e.matched = matched;
    if (!matched) {
        e.label.clear();
        e.line = 0;
    }
    return e;
}

HostEvent of(HostEvent::Kind kind, qint64 timeMs, const ProtocolData &record)
{
    HostEvent e;
    e.kind = kind;
    e.timeMs = timeMs;
    e.record = record;
    e.label = QStringLiteral("cmd %1").arg(record.byCmd, 2, 16, QLatin1Char('0'));
    e.line = record.bySN;
    return e;
}

HostEvent medium(qint64 timeMs, bool present, const QString &text)
{
    HostEvent e;
    e.kind = HostEvent::Kind::Medium;
    e.timeMs = timeMs;
    e.present = present;
    e.text = text;
    return e;
}

QList<ConsoleEvent> everyKind()
{
    const ProtocolData settings = record(1, 0xe1, 0x00);
    ProtocolData settingsReply = record(1, 0xe1, 0x00, QByteArray::fromHex("000102030405060708090a0b0c0d0e0f101112131415"));
    settingsReply.strSource = QStringLiteral("10.0.0.7");
    const ProtocolData unknown = record(2, 0x43, 0x00);
    ProtocolData dropped = record(3, 0x76, 0x00);
    dropped.byParam1 = 33;
    dropped.strSource = QStringLiteral("10.0.0.7");
    ProtocolData late = record(9, 0x71, 0x00);
    late.strSource = QStringLiteral("10.0.0.7");

    HostEvent giveUp = of(HostEvent::Kind::GiveUp, 2400, unknown);
    giveUp.sends = 2;
    HostEvent note;
    note.timeMs = 2500;
    note.text = QStringLiteral("a note");
    HostEvent drop = of(HostEvent::Kind::Drop, 2610, dropped);

    QList<ConsoleEvent> events;
    for (const HostEvent &e : {send(0, settings), reply(5, settingsReply, 4.75), send(10, unknown),
                               of(HostEvent::Kind::Resend, 1200, unknown), send(1220, unknown, true), giveUp, note,
                               send(2600, dropped), drop, of(HostEvent::Kind::Unaccounted, 2700, record(4, 0x71, 0x05)),
                               reply(2710, late, -1, false), medium(3000, false, QStringLiteral("the device went away")),
                               medium(4000, true, QStringLiteral("reopened"))})
        events.append(ConsoleEvent::fromHost(e));
    // A reply whose checksum is wrong, as it came: no reply row of its own.
    HostEvent wire;
    wire.kind = HostEvent::Kind::Wire;
    wire.timeMs = 4050;
    wire.received = true;
    wire.text = QStringLiteral("10.0.0.7");
    wire.bytes = "[R0101710000000000]";
    events.append(ConsoleEvent::fromHost(wire));
    HostEvent failed = of(HostEvent::Kind::SendFailed, 4100, record(5, 0x71, 0x00));
    failed.text = QStringLiteral("write error: Input/output error");
    events.append(ConsoleEvent::fromHost(failed));
    return events;
}

} // namespace TestEvents
