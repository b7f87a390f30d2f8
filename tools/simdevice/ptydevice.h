#ifndef PTYDEVICE_H
#define PTYDEVICE_H

#include "simlink.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The simulated device behind a pseudo-terminal pair. The host opens the slave
// (portName()) as its serial port; an I/O thread reads the master, feeds the
// device and performs its writes, with their delays, in order.
class PtyDevice : public SimLink
{
public:
    PtyDevice();
    ~PtyDevice() override;

    PtyDevice(const PtyDevice &) = delete;
    PtyDevice &operator=(const PtyDevice &) = delete;

    // Opens the pair and starts the I/O thread; false (with the reason) when that fails.
    bool start(QString *error = nullptr) override;
    // The slave's path, e.g. "/dev/pts/7"; empty before start().
    QString portName() const;
    QString endpoint() const override;
    SimDevice &device() override;

    // Writes raw bytes to the host, after the writes already scheduled.
    void write(const QByteArray &raw);
    // Closes the master: to the host the device is gone. Later writes are dropped.
    void hangUp() override;
    bool isHungUp() const override;
    // Stops and joins the I/O thread and closes the pair. Idempotent.
    void stop() override;

private:
    void run();
    void wakeLocked();
    void scheduleLocked(const QList<SimWrite> &writes);
    void closeLineLocked();
    // Performs the writes that are due; returns the poll timeout until the next one.
    int writeDue();

    SimDevice m_device;

    mutable std::mutex m_mutex;
    std::condition_variable m_closed;
    int m_master = -1;
    int m_slave = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_hangUpRequested = false;
    bool m_hungUp = false;
    QString m_portName;
    std::deque<SimWrite> m_writes;
    std::chrono::steady_clock::time_point m_nextWriteAt;
    std::thread m_thread;
};

#endif // PTYDEVICE_H
