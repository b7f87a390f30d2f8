#ifndef USBDEVICE_H
#define USBDEVICE_H

#include "simhid_global.h"
#include "simlink.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <thread>

// The simulated device on the simulated HID bus (SimHidBus). Started, it is
// attached under its vendor and product id; it takes the host's output reports,
// feeds them to the device logic and sends the answers as input reports, with
// their delays and in order, from an I/O thread of its own.
class SIMHID_EXPORT UsbDevice : public SimLink
{
public:
    UsbDevice(quint16 vendorId, quint16 productId);
    ~UsbDevice() override;

    UsbDevice(const UsbDevice &) = delete;
    UsbDevice &operator=(const UsbDevice &) = delete;

    // Attaches the device to the bus and starts answering.
    bool start(QString *error = nullptr) override;
    // "VVVV:PPPP", the ids in hexadecimal as hostcli --usb takes them.
    QString endpoint() const override;
    SimDevice &device() override;
    // Unplugs the device: it leaves the bus, and answers not yet sent are dropped.
    void hangUp() override;
    bool isHungUp() const override;
    // Plugs it in again after a hang-up, as a new device with the same ids.
    bool plugIn();
    void stop() override;

    // The bus's id of the device while it is attached, 0 otherwise.
    int busId() const;
    // Sends raw bytes as one input report, after the answers already scheduled.
    void send(const QByteArray &report);

private:
    struct Line;

    void run();
    bool attachLocked();

    SimDevice m_device;
    const quint16 m_vendorId;
    const quint16 m_productId;
    // Shared with the bus's output handler, which may still be running when the
    // device stops.
    std::shared_ptr<Line> m_line;
    std::thread m_thread;
};

#endif // USBDEVICE_H
