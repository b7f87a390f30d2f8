// The hidapi functions the USB transport calls, over the simulated bus. A program
// linked against this library ahead of the real hidapi (or started with it in
// LD_PRELOAD) resolves them here, so the transport drives the bus's devices.

#include "environmentdevices.h"
#include "simhidbus.h"

// Declared with default visibility: these names are what the library is for.
#pragma GCC visibility push(default)
#include <hidapi.h>
#pragma GCC visibility pop

extern "C" {

hid_device_info *hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    EnvironmentDevices::attachOnce();
    return SimHidBus::instance().enumerate(vendor_id, product_id);
}

void hid_free_enumeration(hid_device_info *devs)
{
    SimHidBus::instance().freeEnumeration(devs);
}

hid_device *hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t *)
{
    EnvironmentDevices::attachOnce();
    return SimHidBus::instance().open(vendor_id, product_id);
}

void hid_close(hid_device *dev)
{
    SimHidBus::instance().close(dev);
}

int hid_read_timeout(hid_device *dev, unsigned char *data, size_t length, int milliseconds)
{
    return SimHidBus::instance().read(dev, data, length, milliseconds);
}

int hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    return SimHidBus::instance().write(dev, data, length);
}

const wchar_t *hid_error(hid_device *dev)
{
    return SimHidBus::instance().error(dev);
}

} // extern "C"
