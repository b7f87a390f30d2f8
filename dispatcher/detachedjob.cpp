#include "detachedjob.h"

#include "dispatchlog.h"
#include "threadstart.h"

#include <atomic>
#include <memory>

namespace {
std::atomic<bool> s_refusalLogged{false};
std::atomic<int> s_running{0};
}

bool DetachedJob::start(std::function<void()> job)
{
    // Beyond this many, more threads only compete for the same locks: the job is
    // as quick here, and a flood of replies does not become a flood of threads.
    if (s_running.fetch_add(1) >= kMaxRunning) {
        s_running.fetch_sub(1);
        job();
        return false;
    }
    // Held apart from the thread's callable, which is gone when the thread is refused.
    const auto shared = std::make_shared<std::function<void()>>(std::move(job));
    const bool started = ThreadStart::startDetached([shared]() {
        (*shared)();
        s_running.fetch_sub(1);
    });
    if (started)
        return true;
    s_running.fetch_sub(1);
    if (!s_refusalLogged.exchange(true))
        qCDebug(lcDispatch) << "No thread for a job, running it on the calling thread";
    (*shared)();
    return false;
}

int DetachedJob::running()
{
    return s_running.load();
}
