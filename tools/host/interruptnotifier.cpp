#include "interruptnotifier.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t s_interrupted = 0;

void onSigint(int)
{
    s_interrupted = 1;
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

InterruptNotifier::InterruptNotifier(QObject *parent)
    : QObject(parent)
{
    s_interrupted = 0;
    std::signal(SIGINT, onSigint);
    m_look.setInterval(kLookMs);
    connect(&m_look, &QTimer::timeout, this, [this] {
        if (!s_interrupted)
            return;
        m_look.stop();
        emit interrupted();
    });
    m_look.start();
}

InterruptNotifier::~InterruptNotifier()
{
    std::signal(SIGINT, SIG_DFL);
}
