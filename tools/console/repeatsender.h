#ifndef REPEATSENDER_H
#define REPEATSENDER_H

#include "plannedcommand.h"

#include <QObject>
#include <QTimer>

// Sends one command again and again, as a person pressing Send would: the first
// at once, then one every interval, count in all, until the last or stop().
class RepeatSender : public QObject
{
    Q_OBJECT

public:
    // The dispatcher polls every 10 ms: faster repetitions would only queue.
    static constexpr int kMinIntervalMs = 10;
    static constexpr int kMaxIntervalMs = 3600000;
    static constexpr int kMaxCount = 100000;

    explicit RepeatSender(QObject *parent = nullptr);

    bool isRunning() const { return m_count > 0; }
    int sent() const { return m_sent; }
    int count() const { return m_count; }

public slots:
    // Replaces a repetition already running. Interval and count are held to their
    // bounds.
    void start(const PlannedCommand &command, int intervalMs, int count);
    void stop();

signals:
    void sendRequested(const PlannedCommand &command);
    // After each send: how many of how many.
    void progressed(int sent, int count);
    // The last was sent (stopped false) or stop() came first.
    void finished(bool stopped);

private:
    void sendNext();

    PlannedCommand m_command;
    QTimer m_timer;
    int m_count = 0;
    int m_sent = 0;
};

#endif // REPEATSENDER_H
