#include "consoleevent.h"

#include "framecodec.h"

namespace {

const char *const kNames[ConsoleEvent::kKindCount] = {
    "send", "resend", "reply", "drop", "giveup", "unaccounted", "medium", "note", "sendfailed",
};

ConsoleEvent::Kind kindOf(HostEvent::Kind kind)
{
    switch (kind) {
    case HostEvent::Kind::Send:
        return ConsoleEvent::Kind::Send;
    case HostEvent::Kind::Resend:
        return ConsoleEvent::Kind::Resend;
    case HostEvent::Kind::Reply:
        return ConsoleEvent::Kind::Reply;
    case HostEvent::Kind::Drop:
        return ConsoleEvent::Kind::Drop;
    case HostEvent::Kind::GiveUp:
        return ConsoleEvent::Kind::GiveUp;
    case HostEvent::Kind::Unaccounted:
        return ConsoleEvent::Kind::Unaccounted;
    case HostEvent::Kind::Medium:
        return ConsoleEvent::Kind::Medium;
    case HostEvent::Kind::SendFailed:
        return ConsoleEvent::Kind::SendFailed;
    case HostEvent::Kind::Note:
        break;
    }
    return ConsoleEvent::Kind::Note;
}

qint64 textBytes(const QString &text)
{
    return qint64(text.size()) * qint64(sizeof(QChar));
}

} // namespace

ConsoleEvent ConsoleEvent::fromHost(const HostEvent &event)
{
    ConsoleEvent e;
    e.kind = kindOf(event.kind);
    e.host = event;
    e.blockLength = event.record.baData.size();
    e.byteCount = event.bytes.size();
    return e;
}

bool ConsoleEvent::hasRecord() const
{
    return kind <= Kind::Unaccounted || kind == Kind::SendFailed;
}

bool ConsoleEvent::blockHeld() const
{
    return host.record.baData.size() == blockLength;
}

QString ConsoleEvent::name(Kind kind)
{
    return QString::fromLatin1(kNames[int(kind)]);
}

bool ConsoleEvent::kindNamed(const QString &name, Kind *kind)
{
    for (int i = 0; i < kKindCount; ++i) {
        if (name == QLatin1String(kNames[i])) {
            *kind = Kind(i);
            return true;
        }
    }
    return false;
}

qint64 ConsoleEvent::heapBytes() const
{
    const ProtocolData &r = host.record;
    return textBytes(host.label) + textBytes(host.text) + textBytes(host.unit) + textBytes(r.strSource)
        + textBytes(r.strLabel) + textBytes(r.strNote) + host.bytes.size() + r.baData.size()
        + qint64(host.pieces.size()) * qint64(sizeof(void *));
}

void ConsoleEvent::shed()
{
    host.bytes.truncate(FrameCodec::kTextFrameSize);
    host.bytes.squeeze();
    host.record.baData = QByteArray();
    host.pieces = QList<int>();
    host.label.truncate(kShedTextLength);
    host.label.squeeze();
    host.text.truncate(kShedTextLength);
    host.text.squeeze();
    host.record.strSource.truncate(kShedTextLength);
    host.record.strSource.squeeze();
    host.record.strLabel = QString();
    host.record.strNote = QString();
}
