#include "portinterface.h"

#include "portbase.h"
#include "serial/portserial.h"
#include "udp/portudp.h"

PortBase *PortInterface::iCORE = nullptr;

PortInterface::PortInterface() = default;

PortBase *PortInterface::creatCoreObjInstance(ConnType type)
{
    switch (type) {
    case ConnUSB:
        // The USB transport is not part of this library yet.
        return nullptr;
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
