#include "transporthost.h"

#include "portbase.h"

TransportHost::TransportHost(PortBase *port)
    : m_port(port)
{
    connect(&m_bridge, &DispatcherBridge::released, this, [this](const ProtocolData &command) {
        ProtocolData copy = command;
        m_port->sendDatatoDevice(&copy);
    });
    connect(&m_bridge, &DispatcherBridge::replied, this, [this](const ProtocolData &reply) { replies.append(reply); });
    connect(&m_bridge, &DispatcherBridge::gaveUp, this, [this] { ++timeouts; });
    connect(&m_bridge, &DispatcherBridge::resent, this, [this] { ++resends; });
    if (!m_bridge.start())
        qWarning("TransportHost: no threads for the dispatcher's workers");
}
