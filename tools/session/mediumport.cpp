#include "mediumport.h"

#include "mediumtraits.h"
#include "portbase.h"
#include "portinterface.h"
#include "usbreopener.h"

MediumPort::MediumPort(Made made, QObject *parent)
    : QObject(parent)
    , m_made(made)
    , m_traits(&mediumTraits(MediumOptions::Medium::Serial))
{
}

MediumPort::~MediumPort()
{
    close();
}

bool MediumPort::open(const MediumOptions &options, QString *description, QString *error)
{
    close();
    m_traits = &mediumTraits(options.medium);
    m_port = m_made == Made::Shared ? PortInterface::creatCoreObj(m_traits->type)
                                    : PortInterface::creatCoreObjInstance(m_traits->type);
    if (m_traits->hotPlug) {
        // A child of the transport: it goes when the transport does.
        auto *reopener = new UsbReopener(m_port, options.vendorId, options.productId, m_port);
        connect(reopener, &UsbReopener::changed, this, &MediumPort::usbChanged);
    }
    return m_traits->open(m_port, options, description, error);
}

void MediumPort::close()
{
    if (!m_port)
        return;
    m_port->closeSerialPort();
    m_port->closeUSB();
    if (m_made == Made::Shared) {
        delete PortInterface::iCORE;
        PortInterface::iCORE = nullptr;
    } else {
        delete m_port;
    }
    m_port = nullptr;
}
