#ifndef TIMERPERIOD_H
#define TIMERPERIOD_H

// While one exists, the process's sleeps and timed waits last what they ask for to
// the millisecond. Windows rounds a 10 ms sleep up to its scheduler tick (15.6 ms
// unless a process asks for finer), which would put the send worker below its
// design pace of 100 commands a second; elsewhere sleeps are already that fine
// and this does nothing. Requests nest and are counted by the system.
class FineTimerPeriod
{
public:
    FineTimerPeriod();
    ~FineTimerPeriod();
    FineTimerPeriod(const FineTimerPeriod &) = delete;
    FineTimerPeriod &operator=(const FineTimerPeriod &) = delete;
};

#endif // TIMERPERIOD_H
