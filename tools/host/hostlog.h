#ifndef HOSTLOG_H
#define HOSTLOG_H

// The libraries narrate every frame on the debug log; a host reports its own events
// instead and shows that log, on stderr, only when asked. Install before the first
// run starts.
namespace HostLog {
void install(bool showDebug);
}

#endif // HOSTLOG_H
