#ifndef WORKERTHREADS_H
#define WORKERTHREADS_H

#include <functional>

// Runs work on up to `threads` threads at once (0: one per core), never more than
// jobs, the calling thread among them, and returns when every call has returned.
// work takes its jobs from a shared counter of its own.
void runOnWorkerThreads(int jobs, int threads, const std::function<void()> &work);

#endif // WORKERTHREADS_H
