#ifndef DETACHEDJOB_H
#define DETACHEDJOB_H

#include "quillet_internal.h"

#include <functional>

// The short jobs the libraries hand off (queue one reply, join one block, clear the
// command queue) each run on a detached thread of their own. Where the system
// refuses a thread (a process at its thread limit, a flood of replies), the job runs
// on the calling thread instead: it only takes a lock or two, while a lost job
// loses a reply, and a refusal thrown out of a Qt slot ends the process.
namespace DetachedJob {

// Job threads that may run at once, process-wide; further jobs run on the caller's.
constexpr int kMaxRunning = 16;

// Starts job on a new detached thread, or runs it here when none can be made; the
// first time that happens in the process, the debug log says so. True when a
// thread took the job.
QUILLET_INTERNAL bool start(std::function<void()> job);

// Jobs started on threads of their own and not yet ended, process-wide.
QUILLET_INTERNAL int running();

} // namespace DetachedJob

#endif // DETACHEDJOB_H
