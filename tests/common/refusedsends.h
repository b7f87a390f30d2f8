#ifndef REFUSEDSENDS_H
#define REFUSEDSENDS_H

#include <QtGlobal>

// A network that refuses a datagram now and then, which loopback never does: the
// process's datagram sends (sendmsg, through which Qt writes every datagram) go
// through as usual until armed; armed, one send makes nothing leave and returns
// what the test chose. Linking this into a test program is what puts it in front
// of the system's sendmsg.
namespace RefusedSends {

// After `passing` more sends have gone through, the next one sends nothing and
// returns `result`: -1 (with errno ENOBUFS), or a count short of the datagram.
void arm(int passing, qint64 result);
// Back to sending everything; how many sends were refused since the last arm.
int disarm();

} // namespace RefusedSends

#endif // REFUSEDSENDS_H
