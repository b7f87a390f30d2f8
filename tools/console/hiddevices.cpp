#include "hiddevices.h"

#include <hidapi.h>

#include <QSet>

namespace {

QString text(const wchar_t *s)
{
    return s ? QString::fromWCharArray(s) : QString();
}

} // namespace

namespace HidDevices {

QList<HidDevice> present()
{
    QList<HidDevice> devices;
    QSet<quint32> seen;
    hid_device_info *list = hid_enumerate(0, 0);
    for (const hid_device_info *info = list; info; info = info->next) {
        const quint32 ids = quint32(info->vendor_id) << 16 | info->product_id;
        if (seen.contains(ids))
            continue;
        seen.insert(ids);
        devices.append(HidDevice{info->vendor_id, info->product_id, text(info->product_string),
                                 text(info->manufacturer_string)});
    }
    hid_free_enumeration(list);
    return devices;
}

} // namespace HidDevices
