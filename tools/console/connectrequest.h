#ifndef CONNECTREQUEST_H
#define CONNECTREQUEST_H

#include "hostoptions.h"

#include <QMetaType>
#include <QSerialPort>
#include <QString>
#include <QStringList>

// Which medium a person asked to open, and how: what the connection panel hands
// on. It opens nothing itself.
struct ConnectRequest
{
    enum class Medium { Serial, Udp, Usb };

    Medium medium = Medium::Serial;

    QString portName;
    qint32 baudRate = QSerialPort::Baud115200;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;

    // An IPv4 address or a host name, as typed.
    QString udpHost;
    quint16 udpPort = 0;

    quint16 vendorId = 0;
    quint16 productId = 0;

    // The same request as hostcli's medium options, so that it is read by hostcli's
    // own parser: {"--port", "/dev/ttyUSB0", "--baud", "115200", ...},
    // {"--udp", "192.168.1.20:5000"}, {"--usb", "4c56:0105"}.
    QStringList arguments() const;
    // The request hostcli's medium options make (Serial, Udp or Usb; a Broadcast is
    // a Udp request without a host).
    static ConnectRequest fromOptions(const HostOptions &options);
    // The request read back by hostcli's parser of them, as a session opens it;
    // false, with the reason, for what that parser refuses.
    bool options(HostOptions *options, QString *error) const;
};

Q_DECLARE_METATYPE(ConnectRequest)

#endif // CONNECTREQUEST_H
