#ifndef TESTEVENTS_H
#define TESTEVENTS_H

#include "consoleevent.h"

#include <QByteArray>
#include <QString>

// Events as a session reports them, for the console's tests.
namespace TestEvents {

ProtocolData record(unsigned char sn, unsigned char cmd, unsigned char sub, const QByteArray &block = QByteArray());

// A command leaving: its bytes as the transport puts them out, one write.
HostEvent send(qint64 timeMs, const ProtocolData &command, bool again = false);
HostEvent reply(qint64 timeMs, const ProtocolData &reply, double roundTripMs, bool matched = true);
HostEvent of(HostEvent::Kind kind, qint64 timeMs, const ProtocolData &record);
HostEvent medium(qint64 timeMs, bool present, const QString &text);

// One of each kind, in the order a session could report them, ending with a send
// that failed; the replies come from "10.0.0.7".
QList<ConsoleEvent> everyKind();

} // namespace TestEvents

#endif // TESTEVENTS_H
