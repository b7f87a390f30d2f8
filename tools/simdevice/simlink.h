#ifndef SIMLINK_H
#define SIMLINK_H

#include "simdevice.h"

#include <QString>

// A medium on which the simulated device answers, as the simdevice program and the
// example host drive it: start it, tell a host where to find it, misbehave, stop.
class SimLink
{
public:
    virtual ~SimLink() = default;

    // Opens the medium and starts answering; false (with the reason) when that fails.
    virtual bool start(QString *error = nullptr) = 0;
    // What a host is given to reach the device: a serial port name, ADDRESS:PORT.
    virtual QString endpoint() const = 0;
    virtual SimDevice &device() = 0;
    // To the host the device is gone; it answers nothing more.
    virtual void hangUp() = 0;
    virtual bool isHungUp() const = 0;
    // Stops answering and releases the medium. Idempotent.
    virtual void stop() = 0;
};

#endif // SIMLINK_H
