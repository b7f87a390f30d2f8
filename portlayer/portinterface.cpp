#include "portinterface.h"

#include "portbase.h"
#include "serial/portserial.h"

PortBase *PortInterface::iCORE = nullptr;

PortInterface::PortInterface() = default;

PortBase *PortInterface::creatCoreObjInstance(ConnType type)
{
    switch (type) {
    case ConnSerial:
        return new PortSerial;
    default:
        // USB and UDP transports are not part of this library yet.
        return nullptr;
    }
}

PortBase *PortInterface::creatCoreObj(ConnType type)
{
    delete iCORE;
    iCORE = nullptr;
    iCORE = creatCoreObjInstance(type);
    return iCORE;
}
