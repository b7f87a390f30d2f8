#ifndef PORTBASE_H
#define PORTBASE_H

#include "modulelenum.h"
#include "portnotices.h"
#include "porvane_global.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

// The abstract transport. Hosts reach it only through its virtual operations, its
// signal and its slot. It is exported all the same: its type information and
// meta-object must be visible to hosts for qobject_cast, dynamic_cast and the
// sanitizers' checks of virtual calls.
class PORVANE_EXPORT PortBase : public QObject
{
    Q_OBJECT

public:
    PortBase();
    ~PortBase() override;

    virtual void setDeviceIP(QString ip) = 0;
    virtual void setPort(int port) = 0;
    virtual void clearQueue() = 0;
    virtual bool openSerialPort(QString portName, QSerialPort::BaudRate baudRate,
                                QSerialPort::StopBits stopBits, QSerialPort::Parity parity,
                                QSerialPort::FlowControl flowControl,
                                QSerialPort::DataBits dataBits) = 0;
    virtual void closeSerialPort() = 0;
    virtual bool openUSB(unsigned short vendorId, unsigned short productId) = 0;
    virtual void closeUSB() = 0;
    virtual void setDeviceType(ModulelEnum::DeviceType type) = 0;

    // Set by the constructor, cleared only by the host.
    bool bEnabled;

    // Notices beside the signal below; a child of the transport, so it lives and
    // moves with it.
    PortNotices *notices() const { return m_notices; }

protected:
    void reportSendFailed(const QString &reason);

private:
    PortNotices *m_notices;

signals:
    void signalUSBChanged(bool);

public slots:
    virtual void sendDatatoDevice(void *parameters) = 0;
};

#endif // PORTBASE_H
