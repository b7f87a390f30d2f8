#include "portinterface.h"

#include "portbase.h"
#include "serial/portserial.h"
#include "udp/portudp.h"
#include "usb/portusb.h"

PortBase *PortInterface::iCORE = nullptr;

PortInterface::PortInterface() = default;

PortBase *PortInterface::creatCoreObjInstance(ConnType type)
{
    switch (type) {
    case ConnUSB:
        return new PortUSB;
    case ConnSerial:
        return new PortSerial;
    default:
        return new PortUDP;
    }
}

PortBase *PortInterface::creatCoreObj(ConnType type)
{
    delete iCORE;
    iCORE = nullptr;
    iCORE = creatCoreObjInstance(type);
    return iCORE;
}
