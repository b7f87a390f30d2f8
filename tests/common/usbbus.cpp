#include "usbbus.h"

#include "portusb.h"
#include "simhidbus.h"

bool UsbBus::reset()
{
    SimHidBus::instance().reset();
    return PortUSB::resetWatchState();
}

bool UsbBus::waitForWatcherLooks(int looks, int timeoutMs)
{
    SimHidBus &bus = SimHidBus::instance();
    return bus.waitForEnumerations(bus.enumerations() + looks, timeoutMs);
}
