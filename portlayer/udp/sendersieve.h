#ifndef SENDERSIEVE_H
#define SENDERSIEVE_H

#include "porvane_internal.h"

#include <QHostAddress>
#include <QtGlobal>

// Has the system drop the datagrams of every sender but the device before they
// reach a socket's receive buffer. The transport refuses them itself as well, but
// only after the system has queued them: a flood from other hosts fills the buffer,
// and the device's replies that arrive meanwhile are dropped with the flood. Where
// the system offers no such filter these do nothing and return false; the
// transport's own refusal then stands alone.
namespace SenderSieve {

// Whether this system sieves at all.
PORVANE_INTERNAL bool available();

// From now on only datagrams from device reach the socket.
PORVANE_INTERNAL bool admitOnly(qintptr socket, const QHostAddress &device);
// Every sender's datagrams reach the socket again.
PORVANE_INTERNAL bool admitAll(qintptr socket);
// Datagrams the system dropped for the socket since it was made, filtered out or
// for want of room in its buffer; 0 where the system does not tell.
PORVANE_INTERNAL quint64 dropped(qintptr socket);

} // namespace SenderSieve

#endif // SENDERSIEVE_H
