#ifndef SIMHIDBUS_H
#define SIMHIDBUS_H

#include "simhid_global.h"

#include <QByteArray>
#include <QList>

#include <functional>

struct hid_device_;
struct hid_device_info;

// A USB HID bus inside the process, for machines without the device. The library
// that holds it also defines the hidapi functions a transport calls (enumerate,
// free the list, open, close, timed read, write, last error) over this bus, so a
// program that links it ahead of the real hidapi drives these devices instead.
//
// Devices are attached and detached by vendor and product id; several may share
// them. What the device sends is an input report of any length, handed to every
// handle open on it; what the host writes is recorded, report by report, and
// passed to the device's output handler. Thread-safe.
class SIMHID_EXPORT SimHidBus
{
public:
    static SimHidBus &instance();

    // An empty bus: every device detached (handles still open on one fail from
    // then on), records, failures and counters cleared. Output handlers are dropped.
    void reset();

    // Attaches a device and returns the id that names it below; ids are never reused.
    int attach(unsigned short vendorId, unsigned short productId);
    // The device is unplugged: enumeration no longer lists it and every read or
    // write on its open handles fails, a blocked read at once.
    void detach(int device);
    bool isAttached(int device) const;

    // An input report from the device, of any length. Every handle open on it
    // gets it; with none open it is lost, as on a real bus.
    void sendInput(int device, const QByteArray &report);

    // Every output report the device took, oldest first, exactly as written.
    QList<QByteArray> outputReports(int device) const;
    QList<QByteArray> takeOutputReports(int device);
    // Waits until the device has taken at least n output reports; false after timeoutMs.
    bool waitForOutputReports(int device, int n, int timeoutMs) const;

    // Once `after` more writes to the device have succeeded, the next `count`
    // writes fail (-1: every later write). A failed write is not recorded.
    void failWrites(int device, int after, int count = 1);

    // Called with each output report the device takes, on the writer's thread,
    // after it is recorded and outside the bus's lock; empty for none.
    void setOutputHandler(int device, std::function<void(const QByteArray &report)> handler);

    int openHandles(int device) const;
    // hid_enumerate calls so far: a test can wait for a watcher's next look.
    int enumerations() const;
    // Waits until at least n enumerations have been made; false after timeoutMs.
    bool waitForEnumerations(int n, int timeoutMs) const;

    // What the hidapi functions do, with hidapi's results.
    hid_device_info *enumerate(unsigned short vendorId, unsigned short productId);
    void freeEnumeration(hid_device_info *list);
    hid_device_ *open(unsigned short vendorId, unsigned short productId);
    void close(hid_device_ *handle);
    int read(hid_device_ *handle, unsigned char *data, size_t length, int milliseconds);
    int write(hid_device_ *handle, const unsigned char *data, size_t length);
    // Why the handle's last read or write failed; "Success" when it did not.
    const wchar_t *error(hid_device_ *handle) const;

private:
    SimHidBus();
    ~SimHidBus();
    SimHidBus(const SimHidBus &) = delete;
    SimHidBus &operator=(const SimHidBus &) = delete;

    struct State;
    State *const d;
};

#endif // SIMHIDBUS_H
