#include "timerperiod.h"

#include <windows.h>
#include <timeapi.h>

// 1 ms, the finest period Windows grants. The system keeps the finest period any
// process asked for, so it is given back as soon as the work ends. A refused
// request makes the matching release a no-op as well.
FineTimerPeriod::FineTimerPeriod()
{
    timeBeginPeriod(1);
}

FineTimerPeriod::~FineTimerPeriod()
{
    timeEndPeriod(1);
}
