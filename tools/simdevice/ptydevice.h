#ifndef PTYDEVICE_H
#define PTYDEVICE_H

#include "polledlink.h"
#include "simwritequeue.h"

#include <QByteArray>
#include <QString>

// The simulated device behind a pseudo-terminal pair. The host opens the slave
// (portName()) as its serial port; an I/O thread reads the master, feeds the
// device and performs its writes, with their delays, in order.
class PtyDevice : public PolledLink
{
public:
    PtyDevice();
    ~PtyDevice() override;

    PtyDevice(const PtyDevice &) = delete;
    PtyDevice &operator=(const PtyDevice &) = delete;

    // Whether the system has pseudo-terminals; where it has none, start() fails.
    static bool supported();
    // Opens the pair and starts the I/O thread; false (with the reason) when that fails.
    bool start(QString *error = nullptr) override;
    // The slave's path, e.g. "/dev/pts/7"; empty before start().
    QString portName() const;
    QString endpoint() const override;
    SimDevice &device() override;

    // Writes raw bytes to the host, after the writes already scheduled.
    void write(const QByteArray &raw);

private:
    std::vector<int> readDescriptors() override;
    void readable(int fd) override;
    int writeDue() override;
    void closeMediumLocked() override;

    SimDevice m_device;
    int m_master = -1;
    int m_slave = -1;
    // Cleared by the I/O thread once the master can no longer be read.
    bool m_masterReadable = true;
    QString m_portName;
    // A line has one far end: the writes need no destination.
    struct Line
    {
    };
    SimWriteQueue<Line> m_writes;
};

#endif // PTYDEVICE_H
