#ifndef INTERRUPTNOTIFIER_H
#define INTERRUPTNOTIFIER_H

#include <QObject>
#include <QTimer>

// Turns the first Ctrl+C (SIGINT) into a signal on the thread that made this
// object, so that a program can end its run and print what it has so far; a
// second Ctrl+C ends the program at once, as if none were watched. One at a time
// per process.
class InterruptNotifier : public QObject
{
    Q_OBJECT

public:
    explicit InterruptNotifier(QObject *parent = nullptr);
    ~InterruptNotifier() override;

signals:
    void interrupted();

private:
    // A signal handler may only set a flag; this looks at it.
    static constexpr int kLookMs = 100;
    QTimer m_look;
};

#endif // INTERRUPTNOTIFIER_H
