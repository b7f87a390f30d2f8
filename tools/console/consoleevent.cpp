#include "consoleevent.h"

#include "framecodec.h"

namespace {

qint64 textBytes(const QString &text)
{
    return qint64(text.size()) * qint64(sizeof(QChar));
}

} // namespace

ConsoleEvent ConsoleEvent::fromHost(const HostEvent &event)
{
    return ConsoleEvent{event, EventJson::Extent::of(event)};
}

bool ConsoleEvent::blockHeld() const
{
    return host.record.baData.size() == extent.blockLength;
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
