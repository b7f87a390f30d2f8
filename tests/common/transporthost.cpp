#include "transporthost.h"

#include "portbase.h"

TransportHost::TransportHost(PortBase *port)
    : m_port(port)
{
    connect(&m_dispatcher, &CmdDealModule::signalSendMessage, this, [this](void *p) {
        handOver(&m_toSend, *static_cast<ProtocolData *>(p));
    }, Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalSendReceiveMessage, this, [this](void *p) {
        handOver(&m_received, *static_cast<ProtocolData *>(p));
    }, Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalSendTimeOut, this, [this]() { ++timeouts; },
            Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalInitCore, this, [this]() { ++resends; },
            Qt::DirectConnection);

    m_dispatcher.bSendWorkRun = true;
    m_dispatcher.bReceiveWorkRun = true;
    m_send = std::thread(&CmdDealModule::GetQueueWork, &m_dispatcher);
    m_receive = std::thread(&CmdDealModule::ReceiveGetQueueWork, &m_dispatcher);
}

TransportHost::~TransportHost()
{
    m_dispatcher.bSendWorkRun = false;
    m_dispatcher.bReceiveWorkRun = false;
    m_send.join();
    m_receive.join();
}

void TransportHost::handOver(std::deque<ProtocolData> *queue, const ProtocolData &record)
{
    {
        std::lock_guard<std::mutex> lock(m_handOverLock);
        queue->push_back(record);
    }
    QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

void TransportHost::deliver()
{
    std::deque<ProtocolData> toSend;
    std::deque<ProtocolData> received;
    {
        std::lock_guard<std::mutex> lock(m_handOverLock);
        toSend.swap(m_toSend);
        received.swap(m_received);
    }
    for (ProtocolData &c : toSend)
        m_port->sendDatatoDevice(&c);
    for (const ProtocolData &r : received)
        replies.append(r);
}
