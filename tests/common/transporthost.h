#ifndef TRANSPORTHOST_H
#define TRANSPORTHOST_H

#include "dispatcherbridge.h"

#include <QList>
#include <QObject>

#include <atomic>

class PortBase;

// Plays the host application against a transport: a dispatcher with both workers
// on threads of their own (a DispatcherBridge), released commands handed to the
// transport on this object's thread (the transport's), and the replies, resends
// and give-ups it reports kept for the test.
class TransportHost : public QObject
{
    Q_OBJECT

public:
    explicit TransportHost(PortBase *port);

    // Replies the receive worker accepted, in order; read on this object's thread.
    QList<ProtocolData> replies;
    std::atomic<int> timeouts{0};
    std::atomic<int> resends{0};

private:
    PortBase *m_port;
    DispatcherBridge m_bridge;
};

#endif // TRANSPORTHOST_H
