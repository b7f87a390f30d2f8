#ifndef THREADCLOCK_H
#define THREADCLOCK_H

#include <chrono>

// Processor time the calling thread has used so far: the work a decode has done, which
// other programs running beside it do not stretch as they stretch the wall clock.
std::chrono::nanoseconds threadCpuTime();

#endif // THREADCLOCK_H
