#ifndef DISPATCHERSTATE_H
#define DISPATCHERSTATE_H

#include "cmddealmodule.h"

#include <QList>

// The dispatcher's queues and counters are process-wide: tests reach them the way
// a host and a transport do.

// Back to the state of a freshly loaded library.
void resetDispatcherState();
// What a host does to queue a command.
void queueCommand(const ProtocolData &command);
// What a transport does with a reply it accepted.
void queueReply(const ProtocolData &reply);
// The reply a well-behaved device gives: the command's header, no parameters.
ProtocolData replyTo(const ProtocolData &sent);
// Empties the reply queue and returns what was in it.
QList<ProtocolData> takeQueuedReplies();

#endif // DISPATCHERSTATE_H
