#ifndef TRANSPORTHOST_H
#define TRANSPORTHOST_H

#include "cmddealmodule.h"

#include <QList>
#include <QObject>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

class PortBase;

// Plays the host application against a transport: a dispatcher with both workers on
// threads of their own, released commands handed to the transport's thread, and
// the replies, resends and give-ups it reports kept for the test. The workers'
// signals carry pointers to records they overwrite at their next step, so each
// handler copies the record in the worker thread and hands the copy to this
// object's thread (the transport's) through a locked queue.
class TransportHost : public QObject
{
    Q_OBJECT

public:
    explicit TransportHost(PortBase *port);
    ~TransportHost() override;

    // Replies the receive worker accepted, in order; read on this object's thread.
    QList<ProtocolData> replies;
    std::atomic<int> timeouts{0};
    std::atomic<int> resends{0};

private:
    void handOver(std::deque<ProtocolData> *queue, const ProtocolData &record);
    Q_INVOKABLE void deliver();

    PortBase *m_port;
    CmdDealModule m_dispatcher;
    std::mutex m_handOverLock;
    std::deque<ProtocolData> m_toSend;
    std::deque<ProtocolData> m_received;
    std::thread m_send;
    std::thread m_receive;
};

#endif // TRANSPORTHOST_H
