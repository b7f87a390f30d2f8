#include "workerthreads.h"

#include "threadstart.h"

#include <algorithm>
#include <thread>
#include <vector>

void runOnWorkerThreads(int jobs, int threads, const std::function<void()> &work)
{
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    // A helper the system refuses leaves its share to the others and this thread.
    for (int t = 1; t < std::min(threads, jobs); ++t) {
        std::thread helper;
        if (!ThreadStart::start(helper, work))
            break;
        helpers.push_back(std::move(helper));
    }
    work();
    for (std::thread &helper : helpers)
        helper.join();
}
