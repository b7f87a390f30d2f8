#include "refusedsends.h"

#include <dlfcn.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<bool> s_armed{false};
std::atomic<int> s_passing{0};
std::atomic<qint64> s_result{-1};
std::atomic<int> s_refused{0};

using SendMsg = ssize_t (*)(int, const msghdr *, int);

SendMsg systemSendMsg()
{
    static const SendMsg next = reinterpret_cast<SendMsg>(dlsym(RTLD_NEXT, "sendmsg"));
    return next;
}

} // namespace

void RefusedSends::arm(int passing, qint64 result)
{
    s_passing = passing;
    s_result = result;
    s_refused = 0;
    s_armed = true;
}

int RefusedSends::disarm()
{
    s_armed = false;
    return s_refused;
}

// Exported, so that the libraries' calls find it ahead of the C library's.
extern "C" __attribute__((visibility("default"))) ssize_t sendmsg(int fd, const msghdr *message, int flags)
{
    if (s_armed && s_passing.fetch_sub(1) <= 0) {
        s_armed = false;
        ++s_refused;
        const qint64 result = s_result;
        if (result < 0)
            errno = ENOBUFS;
        return ssize_t(result);
    }
    return systemSendMsg()(fd, message, flags);
}
