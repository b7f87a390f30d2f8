#ifndef HIDDEVICES_H
#define HIDDEVICES_H

#include <QList>
#include <QString>

// A HID device present on the machine, as a person picks it.
struct HidDevice
{
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString product;
    QString manufacturer;
};

namespace HidDevices {

// The HID devices present now, one entry per vendor and product id (a device with
// several interfaces is listed once), in the order the system lists them.
QList<HidDevice> present();

} // namespace HidDevices

#endif // HIDDEVICES_H
