#ifndef PORTINTERFACE_H
#define PORTINTERFACE_H

#include "conntype.h"
#include "porvane_global.h"

class PortBase;

// Factory of transports. The host calls it from one thread; nothing here is guarded.
class PORVANE_EXPORT PortInterface
{
public:
    PortInterface();

    // A new transport owned by the caller; iCORE is not touched.
    static PortBase *creatCoreObjInstance(ConnType type);
    // Deletes the previous factory-owned transport, then makes a new one owned by iCORE.
    static PortBase *creatCoreObj(ConnType type);

    static PortBase *iCORE;
};

#endif // PORTINTERFACE_H
