#include "workerthreads.h"

#include <algorithm>
#include <thread>
#include <vector>

void runOnWorkerThreads(int jobs, int threads, const std::function<void()> &work)
{
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(threads, jobs); ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();
}
