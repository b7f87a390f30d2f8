#include "timerperiod.h"

// Sleeps on Linux and the BSDs are as fine as the high-resolution timers behind them.
FineTimerPeriod::FineTimerPeriod() = default;

FineTimerPeriod::~FineTimerPeriod() = default;
