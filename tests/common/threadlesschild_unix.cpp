#include "threadlesschild.h"

#include <QTest>

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <system_error>
#include <thread>

namespace ThreadlessChild {

namespace {

// Exit statuses of the child's own set-up, apart from body's.
constexpr int kNoUser = 120;
constexpr int kNoLimit = 121;
constexpr int kThreadStarted = 122;

int inChild(const std::function<int()> &body)
{
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        return kNoUser;
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_NPROC, &none) != 0)
        return kNoLimit;
    try {
        std::thread([] {}).join();
        return kThreadStarted;
    } catch (const std::system_error &) {
    }
    return body();
}

} // namespace

bool available()
{
    return true;
}

bool run(const std::function<int()> &body, QString *failure)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(inChild(body));
    if (child < 0) {
        *failure = QStringLiteral("fork failed");
        return false;
    }
    int status = 0;
    if (!QTest::qWaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 30000)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        *failure = QStringLiteral("the child did not end");
        return false;
    }
    if (WIFSIGNALED(status)) {
        *failure = QStringLiteral("the child ended by signal %1").arg(WTERMSIG(status));
        return false;
    }
    const int code = WEXITSTATUS(status);
    switch (code) {
    case 0:
        return true;
    case kNoUser:
        *failure = QStringLiteral("the child could not drop root");
        break;
    case kNoLimit:
        *failure = QStringLiteral("the child could not limit its processes");
        break;
    case kThreadStarted:
        *failure = QStringLiteral("the child could still start a thread");
        break;
    default:
        *failure = QStringLiteral("the child's check %1 failed").arg(code);
    }
    return false;
}

} // namespace ThreadlessChild
