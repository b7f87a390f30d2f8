#include "usbreopener.h"

#include "portbase.h"

UsbReopener::UsbReopener(PortBase *port, unsigned short vendorId, unsigned short productId, QObject *parent)
    : QObject(parent)
    , m_port(port)
    , m_vendorId(vendorId)
    , m_productId(productId)
{
    connect(m_port, SIGNAL(signalUSBChanged(bool)), this, SLOT(onUsbChanged(bool)), Qt::QueuedConnection);
}

void UsbReopener::onUsbChanged(bool present)
{
    if (!present) {
        emit changed(false, false, QStringLiteral("device removed, port closed (signalUSBChanged(false))"));
        return;
    }
    const bool reopened = m_port->openUSB(m_vendorId, m_productId);
    emit changed(true, reopened,
                 QStringLiteral("device attached again (signalUSBChanged(true))")
                     + (reopened ? QStringLiteral(", reopened") : QStringLiteral(", but it cannot be opened")));
}
