#include "repeatsender.h"

#include <algorithm>

RepeatSender::RepeatSender(QObject *parent)
    : QObject(parent)
{
    // A precise timer: a coarse one may fire up to 5 % late, which over a long
    // repetition is whole intervals.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RepeatSender::sendNext);
}

void RepeatSender::start(const PlannedCommand &command, int intervalMs, int count)
{
    m_timer.stop();
    m_command = command;
    m_count = std::clamp(count, 1, kMaxCount);
    m_sent = 0;
    m_timer.setInterval(std::clamp(intervalMs, kMinIntervalMs, kMaxIntervalMs));
    sendNext();
    if (isRunning())
        m_timer.start();
}

void RepeatSender::stop()
{
    if (!isRunning())
        return;
    m_timer.stop();
    m_count = 0;
    emit finished(true);
}

void RepeatSender::sendNext()
{
    if (!isRunning())
        return;
    ++m_sent;
    const int count = m_count;
    emit sendRequested(m_command);
    emit progressed(m_sent, count);
    // A receiver may have stopped it meanwhile.
    if (m_sent >= count && isRunning()) {
        m_timer.stop();
        m_count = 0;
        emit finished(false);
    }
}
