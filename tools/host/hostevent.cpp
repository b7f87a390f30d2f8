#include "hostevent.h"

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
    if (stoppedEarly.isEmpty())
        stoppedEarly = other.stoppedEarly;
    roundTrips.merge(other.roundTrips);
}
