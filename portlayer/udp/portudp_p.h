#ifndef PORTUDP_P_H
#define PORTUDP_P_H

#include "answerfilter.h"
#include "blockwaitrule.h"
#include "replyhandoff.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QString>

// What PortUDP keeps to itself, behind one pointer: it can change without changing
// the size or layout of the class hosts compile against.
struct PortUDPPrivate
{
    // Who sent the held reply: the joined reply says so, and only that sender's
    // datagrams complete its block. Guarded by PortUDP::stdCMDlock, as the held reply.
    QString heldSender;
    // The sender of a held reply given up when a command left, and the bytes of
    // its block still to come; guarded by stdCMDlock, as the held reply.
    QString leftoverSender;
    int leftoverBytes = 0;
    quint64 leftoverDrops = 0;
    BlockWaitRule blockWait;
    AnswerFilter answerFilter;
    QElapsedTimer refusalLog;
    // The device the system sieves the socket's datagrams for, null while it
    // sieves none, and what earlier sockets had dropped; guarded by stdCMDlock.
    QHostAddress sievedFor;
    quint64 droppedByOldSockets = 0;
    // Last: destroyed first, delivering what its line still holds.
    ReplyHandOff handOff;
};

#endif // PORTUDP_P_H
