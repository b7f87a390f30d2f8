#ifndef THREADSTART_H
#define THREADSTART_H

#include <functional>
#include <system_error>
#include <thread>
#include <utility>

// The one place the libraries and tools start a thread. The system may refuse one
// (a process at its thread limit, a user out of processes), and std::thread then
// throws; thrown out of a Qt slot, a destructor or a callback that ends the
// process. Here a refusal is a false the caller handles, and nothing else in the
// tree constructs a std::thread (a test keeps it so).
namespace ThreadStart {

// Starts body on a new thread and moves it into thread, which must not be running
// one. False when the system refused a thread; thread is then left as it was and
// body never runs.
inline bool start(std::thread &thread, std::function<void()> body)
{
    try {
        thread = std::thread(std::move(body));
        return true;
    } catch (const std::system_error &) {
        return false;
    }
}

// The same for a thread nobody joins.
inline bool startDetached(std::function<void()> body)
{
    std::thread thread;
    if (!start(thread, std::move(body)))
        return false;
    thread.detach();
    return true;
}

} // namespace ThreadStart

#endif // THREADSTART_H
