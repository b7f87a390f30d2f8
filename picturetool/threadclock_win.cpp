#include "threadclock.h"

#include <windows.h>

std::chrono::nanoseconds threadCpuTime()
{
    // Kernel and user time of this thread, in 100 ns units.
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user))
        return std::chrono::nanoseconds(0);
    const auto ticks = [](const FILETIME &t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return std::chrono::nanoseconds((ticks(kernel) + ticks(user)) * 100);
}
