#ifndef POLLEDLINK_H
#define POLLEDLINK_H

#include "simlink.h"

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// A medium whose far end is file descriptors, served by one I/O thread that polls
// them together with a wake pipe: the thread reads what the host sends, feeds the
// device and makes its writes when they are due. Stopping and hanging up are the
// same on every such medium and live here; a medium says which descriptors to
// poll, what to do when they are readable, how to write, and how to close.
//
// Only the I/O thread closes the descriptors it polls while it runs, so it never
// polls or reads a closed (or reused) one.
class PolledLink : public SimLink
{
public:
    ~PolledLink() override;

    void hangUp() override;
    bool isHungUp() const override;
    // Stops and joins the I/O thread and closes everything. Idempotent; a medium's
    // destructor calls it while the medium is still whole.
    void stop() override;

protected:
    PolledLink() = default;

    // Called by the medium's start() with m_mutex held once its descriptors are
    // open: makes the wake pipe and starts the I/O thread.
    bool startThreadLocked(QString *error);
    // Whether start() may still open the medium.
    bool startableLocked() const;
    bool acceptsWritesLocked() const;
    // Makes the I/O thread look again at once (new writes, stop, hang-up).
    void wakeLocked();

    // On the I/O thread: the medium's descriptors to poll for input (-1 to skip one).
    virtual std::vector<int> readDescriptors() = 0;
    // On the I/O thread: fd is readable.
    virtual void readable(int fd) = 0;
    // On the I/O thread: makes the writes that are due, taking m_mutex; returns how
    // long to wait before the next one, or -1 when none waits.
    virtual int writeDue() = 0;
    // Closes the medium's descriptors and drops the writes waiting; m_mutex held.
    virtual void closeMediumLocked() = 0;

    static QString systemError(const QString &what);
    // Closes fd if it is open and marks it closed.
    static void closeDescriptor(int *fd);

    mutable std::mutex m_mutex;

private:
    void run();

    std::condition_variable m_closed;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_hangUpRequested = false;
    bool m_hungUp = false;
    std::thread m_thread;
};

#endif // POLLEDLINK_H
