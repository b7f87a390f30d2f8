#include "trafficcounters.h"

void TrafficCounters::add(const ConsoleEvent &e)
{
    switch (e.kind) {
    case ConsoleEvent::Kind::Send:
        ++(e.host.resend ? resent : sent);
        break;
    case ConsoleEvent::Kind::Reply:
        // A reply that matches no command of the run answers nothing.
        if (e.host.matched)
            ++answered;
        break;
    case ConsoleEvent::Kind::Drop:
        ++dropped;
        break;
    case ConsoleEvent::Kind::GiveUp:
        ++givenUp;
        break;
    case ConsoleEvent::Kind::SendFailed:
        ++sendFailed;
        break;
    case ConsoleEvent::Kind::Resend:
    case ConsoleEvent::Kind::Unaccounted:
    case ConsoleEvent::Kind::Medium:
    case ConsoleEvent::Kind::Note:
        break;
    }
}
