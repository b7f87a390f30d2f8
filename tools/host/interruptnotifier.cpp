#include "interruptnotifier.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A signal handler may do next to nothing: it writes a byte into a pipe whose
// other end the event loop watches.
int s_pipe[2] = {-1, -1};

void onSigint(int)
{
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(s_pipe[1], &byte, 1);
    std::signal(SIGINT, SIG_DFL);
    errno = saved;
}

} // namespace

InterruptNotifier::InterruptNotifier(QObject *parent)
    : QObject(parent)
{
    if (::pipe2(s_pipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        while (::read(s_pipe[0], &byte, 1) > 0) {
        }
        emit interrupted();
    });
    std::signal(SIGINT, onSigint);
}

InterruptNotifier::~InterruptNotifier()
{
    if (!m_notifier)
        return;
    std::signal(SIGINT, SIG_DFL);
    delete m_notifier;
    ::close(s_pipe[0]);
    ::close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

#else

InterruptNotifier::InterruptNotifier(QObject *parent)
    : QObject(parent)
{
}

InterruptNotifier::~InterruptNotifier() = default;

#endif
