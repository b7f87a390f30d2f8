#include "hostevent.h"

bool HostEvent::hasRecord() const
{
    switch (kind) {
    case Kind::Send:
    case Kind::Resend:
    case Kind::Reply:
    case Kind::Drop:
    case Kind::GiveUp:
    case Kind::Unaccounted:
    case Kind::SendFailed:
        return true;
    case Kind::Medium:
    case Kind::Note:
    case Kind::Wire:
        return false;
    }
    return false;
}

bool eventKindNamed(const QString &name, HostEvent::Kind *kind)
{
    for (int i = 0; i < kEventKindCount; ++i) {
        if (name == QLatin1String(eventKindName(HostEvent::Kind(i)))) {
            *kind = HostEvent::Kind(i);
            return true;
        }
    }
    return false;
}

void RunSummary::merge(const RunSummary &other)
{
    commands += other.commands;
    sent += other.sent;
    answered += other.answered;
    dropped += other.dropped;
    resent += other.resent;
    givenUp += other.givenUp;
    unaccounted += other.unaccounted;
    notAsPlanned += other.notAsPlanned;
    sendFailures += other.sendFailures;
    unmatchedReplies += other.unmatchedReplies;
    broadcastAnswers += other.broadcastAnswers;
    if (stoppedEarly.isEmpty())
        stoppedEarly = other.stoppedEarly;
    roundTrips.merge(other.roundTrips);
}
