#ifndef PORTSERIAL_H
#define PORTSERIAL_H

#include "cmddealmodule.h"
#include "portbase.h"
#include "porvane_global.h"
#include "protocoldata.h"
#include "streammedium.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMutex>
#include <QSerialPort>
#include <QString>

#include <atomic>

// Transport over a serial COM port. The port and every operation that touches it
// belong to the thread that created the object, which must run a Qt event loop;
// received bytes are cut into replies by one parser thread per open port.
class PORVANE_EXPORT PortSerial : public PortBase, public StreamMedium
{
    Q_OBJECT

public:
    PortSerial();
    ~PortSerial() override;

    void setDeviceIP(QString ip) override;
    void setPort(int port) override;
    void clearQueue() override;
    bool openSerialPort(QString portName, QSerialPort::BaudRate baudRate,
                        QSerialPort::StopBits stopBits, QSerialPort::Parity parity,
                        QSerialPort::FlowControl flowControl,
                        QSerialPort::DataBits dataBits) override;
    void closeSerialPort() override;
    bool openUSB(unsigned short vendorId, unsigned short productId) override;
    void closeUSB() override;
    void setDeviceType(ModulelEnum::DeviceType type) override;

    void sendComData(QByteArray data);
    QByteArray produceCmds(ProtocolData command);
    QByteArray changeData(QByteArray bytes);
    void setRetFlagStatus(bool status);
    void setDealFlag(bool on);
    unsigned short combineTwoByte(unsigned char low, unsigned char high) const;

    QMutex m_dealMutex;
    // The parser's own flags, under the names hosts know.
    std::atomic<bool> &m_bDealFlag;
    std::atomic<bool> &m_bDealThreadExit;
    QSerialPort *m_com;
    CmdDealModule m_cmdDealModule;

signals:
    void signalUSBChanged(bool);

public slots:
    void readPendingDatagrams();
    void sendDatatoDevice(void *parameters) override;
    void handleError(QSerialPort::SerialPortError error);

private:
    // False when no thread could be started.
    bool startParser();
    void stopParser();
    void shutDownPort();
    // Whether this ReadError says the device is gone rather than a passing fault.
    bool readErrorMeansGone();

    bool m_bShuttingDown = false;
    // A ReadError seen with no byte read since, and when.
    bool m_bReadErrorPending = false;
    QElapsedTimer m_lastReadError;
};

#endif // PORTSERIAL_H
