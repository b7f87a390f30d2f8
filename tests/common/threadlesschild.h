#ifndef THREADLESSCHILD_H
#define THREADLESSCHILD_H

#include <QString>

#include <functional>

// Runs body in a forked child that may start no thread at all, for real: the
// child drops root (which the limit does not bind) and sets its process limit to
// none, then checks that a thread is indeed refused. The child's exit status is
// body's result; a child that aborts, hangs (30 s) or cannot take the limit gives
// a reason in *failure. Not under ThreadSanitizer, whose forked children cannot
// start threads in any case.
namespace ThreadlessChild {

// Whether this platform can make such a child (a fork and a process limit).
bool available();

// True when the child ended with status 0.
bool run(const std::function<int()> &body, QString *failure);

} // namespace ThreadlessChild

#endif // THREADLESSCHILD_H
