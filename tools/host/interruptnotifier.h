#ifndef INTERRUPTNOTIFIER_H
#define INTERRUPTNOTIFIER_H

#include <QObject>

class QSocketNotifier;

// Turns the first Ctrl+C (SIGINT) into a signal on the thread that made this
// object, so that a program can end its run and print what it has so far; a
// second Ctrl+C ends the program at once, as if none were watched. One at a time
// per process. Where there are no POSIX signals it watches nothing.
class InterruptNotifier : public QObject
{
    Q_OBJECT

public:
    explicit InterruptNotifier(QObject *parent = nullptr);
    ~InterruptNotifier() override;

signals:
    void interrupted();

private:
    QSocketNotifier *m_notifier = nullptr;
};

#endif // INTERRUPTNOTIFIER_H
