#ifndef USBBUS_H
#define USBBUS_H

#include "portusb.h"

#include <QList>
#include <QObject>

// The simulated HID bus and the USB transport's process-wide watcher, as the USB
// suites share them: every test starts from an empty bus and a watcher that knows
// no ids, so suites and tests in one process never see each other's devices.
namespace UsbBus {

// Empties the bus and forgets the watched ids. False when a watcher still runs
// (a PortUSB of an earlier test is alive).
bool reset();

// Waits until the watcher has looked at the bus `looks` more times than when
// called; false after timeoutMs.
bool waitForWatcherLooks(int looks, int timeoutMs = 10000);

// The hot-plug notices of a port, handed to the thread that made this object:
// the watcher emits on a thread of its own.
class Notices : public QObject
{
public:
    explicit Notices(PortUSB *port)
    {
        connect(port, &PortUSB::signalUSBChanged, this, [this](bool present) { seen.append(present); },
                Qt::QueuedConnection);
    }
    QList<bool> seen;
};

} // namespace UsbBus

#endif // USBBUS_H
