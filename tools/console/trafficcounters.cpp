#include "trafficcounters.h"

void TrafficCounters::add(const ConsoleEvent &e)
{
    switch (e.kind()) {
    case HostEvent::Kind::Send:
        ++(e.host.resend ? resent : sent);
        break;
    case HostEvent::Kind::Reply:
        // A reply that matches no command of the run answers nothing.
        if (e.host.matched)
            ++answered;
        break;
    case HostEvent::Kind::Drop:
        ++dropped;
        break;
    case HostEvent::Kind::GiveUp:
        ++givenUp;
        break;
    case HostEvent::Kind::SendFailed:
        ++sendFailed;
        break;
    case HostEvent::Kind::Resend:
    case HostEvent::Kind::Unaccounted:
    case HostEvent::Kind::Medium:
    case HostEvent::Kind::Note:
    case HostEvent::Kind::Wire:
        break;
    }
}
