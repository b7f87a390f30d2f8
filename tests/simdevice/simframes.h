#ifndef SIMFRAMES_H
#define SIMFRAMES_H

#include "simdevice.h"
#include "simframe.h"

#include <QByteArray>

// A command as the host would send it (head 0x01), for the simulated device's tests.
inline SimFrame frame(quint8 sn, quint8 cmd, quint8 sub, quint8 p1 = 0, quint8 p2 = 0,
                      quint8 p3 = 0, const QByteArray &block = QByteArray())
{
    SimFrame f;
    f.head = 0x01;
    f.sn = sn;
    f.cmd = cmd;
    f.sub = sub;
    f.p1 = p1;
    f.p2 = p2;
    f.p3 = p3;
    f.block = block;
    return f;
}

// The bytes a well-behaved device writes back for command on a medium.
inline QByteArray replyBytes(const SimFrame &command, const SimProfile &profile = SimProfile::serial())
{
    const SimFrame reply = SimDevice::replyFor(command, profile);
    return SimDevice::replyFrame(reply) + reply.block;
}

#endif // SIMFRAMES_H
