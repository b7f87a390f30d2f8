#ifndef TRAFFICCOUNTERS_H
#define TRAFFICCOUNTERS_H

#include "consoleevent.h"

// What the session's events add up to, counted as hostcli's summary counts them:
// first sends, replies matching a command, every dropped reply, second sends and
// give-ups; and the sends that never reached the medium.
struct TrafficCounters
{
    qint64 sent = 0;
    qint64 answered = 0;
    qint64 dropped = 0;
    qint64 resent = 0;
    qint64 givenUp = 0;
    qint64 sendFailed = 0;

    void add(const ConsoleEvent &event);
};

#endif // TRAFFICCOUNTERS_H
